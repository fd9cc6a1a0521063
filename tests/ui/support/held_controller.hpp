// A run whose progress a test steps by hand: `begun` files begin at once,
// then the run waits until the test releases it, and only then finishes.
#pragma once

#include "convert/conv_controller.hpp"

#include <condition_variable>
#include <mutex>

namespace varnolt::test {

class CHeldController : public CConvController {
public:
    CHeldController(const ISourceFileList* list, CAppSettings& settings, int begun)
        : CConvController(nullptr, list, 1252, 1, "_unicode_", 2, false, true, false, settings,
                          nullptr),
          m_nBegun(begun) {}

    bool Run() override {
        for (int i = 0; i < m_nBegun; ++i) {
            m_hProgressWnd->FileBegun();
        }
        std::unique_lock lock(m_mutex);
        m_cv.wait(lock, [this] { return m_bRelease; });
        m_hProgressWnd->RunFinished();
        return true;
    }
    void Release() {
        std::lock_guard lock(m_mutex);
        m_bRelease = true;
        m_cv.notify_all();
    }

private:
    int m_nBegun;
    std::mutex m_mutex;
    std::condition_variable m_cv;
    bool m_bRelease = false;
};

} // namespace varnolt::test
