// The filter set, its mapping to the system's flags, and the chunked poll of notification handles.
#include <gtest/gtest.h>

#include <vector>

#include "monitor/DirMontr.h"
#include "ui/owned.h"

using monitor::TDirMonitorFilter;

TEST(DirMonitorFilter, MapsMembersToSystemFlags) {
    EXPECT_EQ(monitor::NotifyFilterOf({}), 0u);
    EXPECT_EQ(monitor::NotifyFilterOf({monitor::dmfFileName}), static_cast<DWORD>(FILE_NOTIFY_CHANGE_FILE_NAME));
    EXPECT_EQ(monitor::NotifyFilterOf({monitor::dmfDirName}), static_cast<DWORD>(FILE_NOTIFY_CHANGE_DIR_NAME));
    EXPECT_EQ(monitor::NotifyFilterOf({monitor::dmfAttributes}), static_cast<DWORD>(FILE_NOTIFY_CHANGE_ATTRIBUTES));
    EXPECT_EQ(monitor::NotifyFilterOf({monitor::dmfSize}), static_cast<DWORD>(FILE_NOTIFY_CHANGE_SIZE));
    EXPECT_EQ(monitor::NotifyFilterOf({monitor::dmfLastWrite}), static_cast<DWORD>(FILE_NOTIFY_CHANGE_LAST_WRITE));
    // The security bit is bit 5 of the set but 0x100 for the system.
    EXPECT_EQ(monitor::NotifyFilterOf({monitor::dmfChangeSecurity}), static_cast<DWORD>(FILE_NOTIFY_CHANGE_SECURITY));
    EXPECT_EQ(monitor::NotifyFilterOf(TDirMonitorFilter::FromBits(0x3F)), 0x11Fu);
    EXPECT_EQ(monitor::NotifyFilterOf({monitor::dmfDirName, monitor::dmfChangeSecurity}), 0x102u);
}

TEST(DirMonitorFilter, IsOneByteOfMemberBits) {
    EXPECT_EQ(monitor::kDefaultDirMonitorFilter.Bits(), 29);  // no directory names by default
    EXPECT_EQ(monitor::NotifyFilterOf(monitor::kDefaultDirMonitorFilter), 0x1Du);
    EXPECT_EQ(TDirMonitorFilter::FromBits(0xFF).Bits(), 0x3F);  // bits beyond the members name nothing
    EXPECT_TRUE(TDirMonitorFilter().Empty());

    TDirMonitorFilter f{monitor::dmfSize};
    f.Include(monitor::dmfChangeSecurity).Include(monitor::dmfSize);
    EXPECT_EQ(f.Bits(), 0x28);
    EXPECT_TRUE(f.Contains(monitor::dmfChangeSecurity));
    EXPECT_FALSE(f.Contains(monitor::dmfFileName));
    f.Exclude(monitor::dmfSize);
    EXPECT_EQ(f, TDirMonitorFilter{monitor::dmfChangeSecurity});
    EXPECT_NE(f, TDirMonitorFilter{});
}

namespace {

// Manual-reset events, so that polling them does not reset them.
struct Events {
    explicit Events(int n) {
        for (int i = 0; i < n; ++i) {
            owned.emplace_back(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
            handles.push_back(owned.back().get());
        }
    }
    void Set(int i) { ::SetEvent(handles[static_cast<std::size_t>(i)]); }
    void Reset(int i) { ::ResetEvent(handles[static_cast<std::size_t>(i)]); }
    std::vector<ui::UniqueHandle> owned;
    std::vector<HANDLE> handles;
};

}  // namespace

TEST(FirstSignalled, FindsTheEarliestSignalledHandleAcrossChunks) {
    Events e(150);
    EXPECT_EQ(monitor::FirstSignalled(e.handles), -1);
    EXPECT_EQ(monitor::FirstSignalled({}), -1);

    for (int i : {0, 63, 64, 69, 127, 128, 149}) {
        e.Set(i);
        EXPECT_EQ(monitor::FirstSignalled(e.handles), i) << "signalled " << i;
        e.Reset(i);
    }

    e.Set(130);
    e.Set(70);
    EXPECT_EQ(monitor::FirstSignalled(e.handles), 70);
    e.Set(65);
    EXPECT_EQ(monitor::FirstSignalled(e.handles), 65);
    e.Set(3);
    EXPECT_EQ(monitor::FirstSignalled(e.handles), 3);
    // Polling consumes nothing: the same answer comes again.
    EXPECT_EQ(monitor::FirstSignalled(e.handles), 3);
}

TEST(FirstSignalled, AFailingChunkCountsAsUnsignalled) {
    Events e(100);
    e.handles[10] = nullptr;  // the first chunk's wait fails
    e.Set(20);                // so its signal goes unseen
    e.Set(90);
    EXPECT_EQ(monitor::FirstSignalled(e.handles), 90);
    e.Reset(90);
    EXPECT_EQ(monitor::FirstSignalled(e.handles), -1);
}
