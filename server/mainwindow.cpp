#include "server/mainwindow.h"

#include "server/logdelegate.h"
#include "server/logmodel.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

namespace tessel::server {

MainWindow::MainWindow() {
    address_ = new QLineEdit;
    port_ = new QLineEdit;
    port_->setMaximumWidth(80);
    stateLamp_ = new QLabel;
    stateLamp_->setFixedSize(16, 16);
    stateText_ = new QLabel;
    status_ = new QLabel;
    list_ = new QListView;
    list_->setUniformItemSizes(true);
    list_->setItemDelegate(new LogDelegate(list_));
    list_->setEditTriggers(QAbstractItemView::NoEditTriggers);

    auto button = [this](const char16_t* caption, auto action) {
        auto* b = new QPushButton(QString::fromStdU16String(caption));
        connect(b, &QPushButton::clicked, this, [this, action] {
            if (controller_) action(*controller_);
        });
        return b;
    };
    auto* top = new QHBoxLayout;
    top->addWidget(new QLabel(QString::fromStdU16String(u"주소")));
    top->addWidget(address_);
    top->addWidget(new QLabel(QString::fromStdU16String(u"포트")));
    top->addWidget(port_);
    top->addWidget(stateLamp_);
    top->addWidget(stateText_);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(button(u"시작", [this](ServerController& c) {
        c.setBoxes(address_->text().toStdU16String(), port_->text().toStdU16String());
        c.startListening();
    }));
    buttons->addWidget(button(u"중지", [](ServerController& c) { c.stopListening(); }));
    buttons->addWidget(button(u"다시 읽기", [](ServerController& c) { c.reloadButton(); }));
    buttons->addWidget(button(u"트레이", [](ServerController& c) { c.hideToTray(); }));
    buttons->addWidget(button(u"저장", [](ServerController& c) { c.saveLog(); }));
    buttons->addWidget(button(u"지우기", [](ServerController& c) { c.clearLog(); }));
    // The remaining commands, each named as the window's button it stands for.
    auto command = [this](const char* name, const char16_t* caption, auto action) {
        auto* b = new QPushButton(QString::fromStdU16String(caption));
        b->setObjectName(name);
        connect(b, &QPushButton::clicked, this, [this, action] {
            if (commands_) action(*commands_);
        });
        return b;
    };
    filePath_ = new QLineEdit;
    filePath_->setObjectName("txtFpath");
    auto* commands = new QHBoxLayout;
    commands->addWidget(
        command("cmdCertView", u"증명서 보기", [](WindowCommands& c) { c.cmdCertView_Click(); }));
    commands->addWidget(
        command("cmdServerSend", u"전송", [](WindowCommands& c) { c.cmdServerSend_Click(); }));
    commands->addWidget(command("cmdXml", u"", [](WindowCommands& c) { c.cmdXml_Click(); }));
    commands->addWidget(
        command("Command1", u"testcrypt", [](WindowCommands& c) { c.Command1_Click(); }));
    commands->addWidget(command("Command3", u"", [](WindowCommands& c) { c.Command3_Click(); }));
    commands->addWidget(filePath_);
    commands->addWidget(
        command("Command2", u"파일 선택", [](WindowCommands& c) { c.Command2_Click(); }));

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(list_);
    layout->addWidget(status_);
    layout->addLayout(buttons);
    layout->addLayout(commands);
    resize(640, 420);

    timer_ = new QTimer(this);
    timer_->setInterval(1000);
    connect(timer_, &QTimer::timeout, this, [this] {
        if (controller_) controller_->timerTick();
    });
}

void MainWindow::attach(ServerController* controller) {
    controller_ = controller;
    delete model_;
    model_ = new LogModel(controller->log(), LogModel::kDefaultBatchMs, this);
    list_->setModel(model_);
    timer_->start();
}

void MainWindow::setCaption(const std::u16string& caption) {
    setWindowTitle(QString::fromStdU16String(caption));
}
void MainWindow::setAddress(const std::u16string& address) {
    address_->setText(QString::fromStdU16String(address));
}
void MainWindow::setPort(const std::u16string& port) {
    port_->setText(QString::fromStdU16String(port));
}
void MainWindow::setStatusText(const std::u16string& text) {
    status_->setText(QString::fromStdU16String(text));
}

void MainWindow::setListeningState(int state) {
    stateLamp_->setStyleSheet(state == 2 ? "background-color: #00FF00"
                                         : "background-color: #FF0000");
    stateText_->setText(QString::number(state));
}

void MainWindow::showWindow() {
    show();
    raise();
}

void MainWindow::hideWindow() {
    hide();
}

platform::ui::OwnerWindow MainWindow::ownerWindow() const {
    return static_cast<platform::ui::OwnerWindow>(winId());
}

void MainWindow::setFilePath(const std::u16string& path) {
    filePath_->setText(QString::fromStdU16String(path));
}

void MainWindow::closeEvent(QCloseEvent* event) {
    event->ignore();
    if (controller_)
        controller_->closeWindow();
    else
        hide();
}

}  // namespace tessel::server
