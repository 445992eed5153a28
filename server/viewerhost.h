// The viewer form: a window that hosts the document viewer control, created through the COM
// layer by its class identifier and driven by dispatch identifier.
#pragma once

#include <memory>
#include <string>

#include "server/controller.h"

namespace tessel::server {

class ComViewerHost : public ViewerHost {
  public:
    // The clock gives the form its loading time.
    ComViewerHost(std::u16string programFolder, const Clock& clock);
    ~ComViewerHost() override;

    // True when the viewer control could be created (it is created on first use).
    bool available() const override;
    std::u16string version() override;
    void hide() override;
    void show() override;
    bool run(ViewerRun request, ViewerEvents& events) override;
    void attach(ViewerFormServices* services) override;
    std::u16string whyNoPrinter() const override;

    // The form's logic: its loading time, result mark, close step and notifications.
    ViewerForm& form();
    // Ends the form and its control (what Timer2's tick does); the next use loads them again.
    void unload();

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace tessel::server
