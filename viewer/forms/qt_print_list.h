// The printer list form on Qt: a small dialog over the list form's logic, with the library's
// custom buttons. It loads (and lists the printers) when it is made; a caller shows it as it
// likes and reads SelectedPrinterName after it closed.
#pragma once

#include <QDialog>
#include <memory>

#include "viewer/selection/platform_windows.h"
#include "viewer/selection/print_list.h"

class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QTimer;

namespace vistrel::forms {

class QtXButton;

class QtPrintList : public QDialog, public PrintListView {
  public:
    explicit QtPrintList(QWidget* parent = nullptr, PrintListParts parts = {});
    ~QtPrintList() override;

    PrintListForm& logic() { return *logic_; }

    // PrintListView
    void setCaption(const std::u16string& text) override;
    void setFrameCaption(const std::u16string& text) override;
    void setInstruction(const std::u16string& text) override;
    void setContact(const std::u16string& text) override;
    void setPrintCaption(const std::u16string& text) override;
    void setCancelCaption(const std::u16string& text) override;
    void setPrintEnabled(bool on) override;
    double nameFontSize() override;
    void setNameFont(const std::u16string& face, std::int16_t charset,
                     std::optional<std::int16_t> size) override;
    void setNameText(const std::u16string& text) override;
    void clearPrinters() override;
    void addPrinter(const std::u16string& deviceName) override;
    void selectPrinter(int index) override;
    std::u16string selectedPrinter() override;
    WindowHandle handle() override;
    void stopTimer() override;
    void closeForm() override;

  private:
    PlatformWindows windows_;
    QTimer* timer_;
    QGroupBox* frame_;
    QComboBox* printers_;
    QLabel* instruction_;
    QLineEdit* name_;
    QLabel* contact_;
    QtXButton* print_;
    QtXButton* cancel_;
    std::unique_ptr<PrintListForm> logic_;
};

}  // namespace vistrel::forms
