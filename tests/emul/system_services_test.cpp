// The audio compression manager's one metric, common controls and COM.
#include "platform/emul/control.h"
#include "platform/win32.h"

#include <gtest/gtest.h>

#include <thread>

class SystemServices : public ::testing::Test {
protected:
  void SetUp() override { emul::ClearSystemFaults(); }
  void TearDown() override { emul::ClearSystemFaults(); }
};

TEST_F(SystemServices, LargestFormatBlockHoldsAnyFormatTheEngineUses) {
  DWORD size = 0;
  ASSERT_EQ(acmMetrics(nullptr, ACM_METRIC_MAX_SIZE_FORMAT, &size),
            static_cast<MMRESULT>(MMSYSERR_NOERROR));
  EXPECT_GE(size, sizeof(WAVEFORMATEXTENSIBLE));
  EXPECT_NE(acmMetrics(nullptr, ACM_METRIC_MAX_SIZE_FORMAT + 1, &size),
            static_cast<MMRESULT>(MMSYSERR_NOERROR));
  EXPECT_EQ(acmMetrics(nullptr, ACM_METRIC_MAX_SIZE_FORMAT, nullptr),
            static_cast<MMRESULT>(MMSYSERR_INVALPARAM));
}

TEST_F(SystemServices, AcmFaultFailsWithAnErrorCodeAndWritesNothing) {
  emul::FailSystemCallNth(emul::SystemCall::AcmMetrics, 1);
  DWORD size = 1234;
  EXPECT_NE(acmMetrics(nullptr, ACM_METRIC_MAX_SIZE_FORMAT, &size),
            static_cast<MMRESULT>(MMSYSERR_NOERROR));
  EXPECT_EQ(size, 1234u);
  EXPECT_EQ(acmMetrics(nullptr, ACM_METRIC_MAX_SIZE_FORMAT, &size),
            static_cast<MMRESULT>(MMSYSERR_NOERROR));
  InitCommonControls(); // nothing to see, but it must be there
}
