// The server's main window: address and port boxes, the log list with its buttons, the
// listening state and the status line. It only shows what the controller tells it and hands
// clicks to it.
#pragma once

#include <QWidget>

#include "server/controller.h"
#include "server/windowcommands.h"

class QLabel;
class QLineEdit;
class QListView;
class QTimer;

namespace tessel::server {

class LogModel;

class MainWindow : public QWidget, public MainView, public CommandView {
  public:
    MainWindow();
    void attach(ServerController* controller);
    void attachCommands(WindowCommands* commands) { commands_ = commands; }

    void setCaption(const std::u16string& caption) override;
    void setAddress(const std::u16string& address) override;
    void setPort(const std::u16string& port) override;
    void setStatusText(const std::u16string& text) override;
    void setListeningState(int state) override;
    void showWindow() override;
    void hideWindow() override;

    platform::ui::OwnerWindow ownerWindow() const override;
    void setFilePath(const std::u16string& path) override;

    // For the smoke test.
    QListView* logList() const { return list_; }
    QLabel* stateLabel() const { return stateText_; }
    QLineEdit* filePath() const { return filePath_; }

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    ServerController* controller_ = nullptr;
    WindowCommands* commands_ = nullptr;
    QLineEdit* filePath_;
    QLineEdit* address_;
    QLineEdit* port_;
    QListView* list_;
    LogModel* model_ = nullptr;
    QLabel* stateLamp_;
    QLabel* stateText_;
    QLabel* status_;
    QTimer* timer_;
};

}  // namespace tessel::server
