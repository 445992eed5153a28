#include "viewer/selection/print_list.h"

#include "platform/spooler/spooler.h"
#include "platform/text/text.h"
#include "strings/strings.h"
#include "viewer/state/module_state.h"

namespace vistrel {

namespace {

template <class Step>
void passOver(Step&& step) noexcept {
    try {
        step();
    } catch (...) {
    }
}

}  // namespace

PrintListForm::PrintListForm(PrintListView& view, WindowOperations& windows, PrintListParts parts)
    : view_(view), windows_(windows), parts_(std::move(parts)) {}

void PrintListForm::yield() {
    if (parts_.yield) parts_.yield();
}

void PrintListForm::load() {
    moduleState().print.SelectedPrinterName.clear();
    passOver([&] { view_.setCaption(u">>> " + loadString(2121) + u" <<<"); });
    passOver([&] { view_.setFrameCaption(loadString(4000)); });
    passOver([&] { view_.setInstruction(loadString(2122)); });
    passOver([&] { view_.setContact(loadString(2123)); });
    passOver([&] { view_.setPrintCaption(loadString(2124)); });
    passOver([&] { view_.setCancelCaption(loadString(907)); });
    passOver([&] { view_.setPrintEnabled(true); });
    std::u16string face;
    std::int16_t size = 0, charset = 0;
    passOver([&] { face = loadString(2); });
    passOver([&] { size = platform::text::CInt(loadString(3)); });
    passOver([&] { charset = platform::text::CInt(loadString(4)); });
    yield();
    passOver([&] {
        const bool raise = view_.nameFontSize() < 9;
        view_.setNameFont(face, charset, raise ? std::optional<std::int16_t>(size) : std::nullopt);
    });
    passOver([&] { view_.setNameText(u""); });
    passOver([&] {
        view_.clearPrinters();
        const auto names = parts_.printers ? parts_.printers() : platform::spooler::printerNames();
        if (names.empty()) return;
        for (const auto& name : names) {
            view_.addPrinter(name);
            view_.setNameText(name);
        }
        view_.selectPrinter(0);
    });
    yield();
}

void PrintListForm::timerTick() {
    if (!timerEnabled_) return;
    passOver([&] { SetWindowTopmost(windows_, view_.handle(), -1); });
    timerEnabled_ = false;
    passOver([&] { view_.stopTimer(); });
}

void PrintListForm::printClick() {
    passOver([&] {
        moduleState().print.SelectedPrinterName = view_.selectedPrinter();
        view_.closeForm();
    });
    yield();
}

void PrintListForm::cancelClick() {
    moduleState().print.SelectedPrinterName.clear();
    passOver([&] { view_.closeForm(); });
    yield();
}

}  // namespace vistrel
