#include "gamefiles/errors.h"

#include <gtest/gtest.h>

namespace corvaldo {
namespace {

TEST(FailureReport, FillsTheTemplate) {
  EXPECT_EQ(FormatFailureReport("EConvertError", "script-corvaldo.exe", 0x1A2B,
                                "'x' is not a valid integer value"),
            "Exception EConvertError in module script-corvaldo.exe at 00001A2B.\r\n"
            "'x' is not a valid integer value.\r\n");
  // A message that already ends with a full stop, or is empty, gets none.
  EXPECT_EQ(FormatFailureReport("E", "m", 0xDEADBEEF, "Done."),
            "Exception E in module m at DEADBEEF.\r\nDone.\r\n");
  EXPECT_EQ(FormatFailureReport("E", "m", 0, ""), "Exception E in module m at 00000000.\r\n\r\n");
}

TEST(FailureReport, IsCutTo1023Characters) {
  const std::string report = FormatFailureReport("E", "m", 1, std::string(2000, 'x'));
  EXPECT_EQ(report.size(), 1023u);
  EXPECT_EQ(report.substr(0, 36), "Exception E in module m at 00000001.");
  EXPECT_EQ(FormatFailureReport("E", "m", 1, std::string(10, 'x')),
            "Exception E in module m at 00000001.\r\nxxxxxxxxxx.\r\n");
}

TEST(FailureReport, NamesTheKindAndTheRaisingCode) {
  try {
    throw ERegistryException(ERegistryException::Reason::InvalidDataType, "Install Dir");
  } catch (const EError& error) {
    EXPECT_EQ(error.KindName(), "ERegistryException");
    EXPECT_EQ(error.Message(), "Invalid data type for 'Install Dir'");
    EXPECT_NE(error.RaiseAddress(), nullptr);
    const std::string report = FailureReportFor(error);
    EXPECT_EQ(report.rfind("Exception ERegistryException in module ", 0), 0u);
    EXPECT_NE(report.find(".\r\nInvalid data type for 'Install Dir'.\r\n"), std::string::npos);
  }
  EXPECT_EQ(
      ERegistryException(ERegistryException::Reason::FailedToGetData, "Install Dir").Message(),
      "Failed to get data for 'Install Dir'");
}

}  // namespace
}  // namespace corvaldo
