// The non-interactive run: profile, checks, the job with console lines, the
// log file and the exit code.
#pragma once

#include "convert/controller_base.hpp"

namespace varnolt {

class CVarnoltApp;

class CNIModeController : public CControllerBase {
public:
    explicit CNIModeController(CVarnoltApp& app);

    // True when the log was written and every file ended OK; the outcome for
    // the caller is the exit code left in the application object.
    virtual bool Run();
    // Checks the run; on failure sets the exit code and returns false.
    bool Validate();

private:
    CVarnoltApp& m_app;
};

} // namespace varnolt
