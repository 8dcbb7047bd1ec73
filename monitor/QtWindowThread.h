// The device link's view of the Qt window thread.
#pragma once

#include "link/WindowThread.h"

namespace km7 {

class QtWindowThread : public WindowThread {
public:
    void post(std::function<void()> fn) override;
    void processMessages() override;
};

} // namespace km7
