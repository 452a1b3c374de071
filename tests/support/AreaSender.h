// The exchange area's way into the real window for tests: the sender routine, then the
// window's intake, run at once.
#pragma once

#include <memory>

#include <gtest/gtest.h>

#include "VtSender.h"
#include "MainFrameFixture.h"

struct TSenderCloser {
    void operator()(VtSender* sender) const noexcept { VtClose(sender); }
};

// Opens the sender with its first line.
class TAreaSender {
public:
    void Send(unsigned channel, const char* text)
    {
        if (!FSender)
            FSender.reset(VtOpen());
        ASSERT_TRUE(FSender);
        ASSERT_EQ(VtSend(FSender.get(), channel, text), VT_OK);
        MainFrameFixture::Pump();
    }

private:
    std::unique_ptr<VtSender, TSenderCloser> FSender;
};
