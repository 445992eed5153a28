// Thin widgets over the form controls' logic: each shows the logic's surface and hands Qt's
// input to it. A host form places them where it would place plain buttons and text boxes.
#pragma once

#include <QWidget>
#include <memory>
#include <optional>

#include "viewer/forms/flat_text_box.h"
#include "viewer/forms/xbutton.h"

class QKeyEvent;
class QPlainTextEdit;
class QShortcut;

namespace vistrel::forms {

class QtXButton : public QWidget, public ControlHost {
  public:
    explicit QtXButton(QWidget* parent, const QString& caption = {});
    ~QtXButton() override;

    XButton& logic() { return *logic_; }
    // Shown by the host as its default button.
    void setDefault(bool on);

    // ControlHost
    std::u16string displayName() const override;
    platform::gdi::Font ambientFont() const override;
    bool displayAsDefault() const override { return default_; }
    platform::gdi::Color parentTextColor() const override;
    platform::gdi::Color parentBackColor() const override;
    platform::gdi::BitmapPtr parentSurface() override;
    void surfaceChanged() override;
    void accessKeyChanged(char16_t key) override;

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

  private:
    void applyRegion();
    std::unique_ptr<XButton> logic_;
    bool default_ = false;
    bool pressedInside_ = false;
    std::optional<platform::gdi::Region> shownRegion_;
    int focusListener_ = 0;
    QShortcut* shortcut_ = nullptr;
};

class QtFlatTextBox : public QWidget, public ControlHost {
  public:
    explicit QtFlatTextBox(QWidget* parent);
    ~QtFlatTextBox() override;

    FlatTextBox& logic() { return *logic_; }
    QPlainTextEdit* inner() const { return inner_; }

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void mirror();
    bool forwardKeyPress(QKeyEvent& key);
    QPlainTextEdit* inner_;
    std::unique_ptr<FlatTextBox> logic_;
    bool mirroring_ = false;
    bool leftPressedInside_ = false;
    QString shownText_;        // the inner box's text when it last changed
    bool forwarding_ = false;  // the keys the box passes on itself
};

// The raster's font as Qt's, and back.
platform::gdi::Font fontFromQt(const QFont& font);
QFont fontToQt(const platform::gdi::Font& font);
// A colour of the raster (0x00BBGGRR) as Qt's.
QColor colorToQt(platform::gdi::Color c);

}  // namespace vistrel::forms
