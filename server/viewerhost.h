// The viewer form: a window that hosts the document viewer control, created through the COM
// layer by its class identifier and driven by dispatch identifier.
#pragma once

#include <memory>
#include <string>

#include "server/controller.h"

namespace tessel::server {

class ComViewerHost : public ViewerHost {
  public:
    explicit ComViewerHost(std::u16string programFolder);
    ~ComViewerHost() override;

    // True when the viewer control could be created (it is created on first use).
    bool available() const override;
    std::u16string version() override;
    void hide() override;
    void show() override;
    bool run(ViewerRun request, ViewerEvents& events) override;

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace tessel::server
