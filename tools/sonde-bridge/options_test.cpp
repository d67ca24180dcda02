#include "options.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace bridge {
namespace {

using Args = std::vector<std::string>;

TEST(ParseOptionsTest, GoodCommandLines) {
  Options o;
  std::string error;
  ASSERT_TRUE(ParseOptions({}, o, error)) << error;
  EXPECT_EQ(o.input, Options::Input::kStandardInput);
  EXPECT_EQ(o.name, "SondeMonitor.Document");
  EXPECT_EQ(o.qrgText, "");
  EXPECT_EQ(o.switchAfterSeconds, 30);

  o = {};
  ASSERT_TRUE(
      ParseOptions(Args{"--input", "/tmp/fifo", "--exit-on-eof", "--serial", "S1", "--qrg", "403.5",
                        "--verbose", "--name", "Test.Doc", "--once-ready-print", "--register"},
                   o, error))
      << error;
  EXPECT_EQ(o.input, Options::Input::kFile);
  EXPECT_EQ(o.path, "/tmp/fifo");
  EXPECT_TRUE(o.exitOnEof);
  EXPECT_EQ(o.serial, "S1");
  EXPECT_EQ(o.qrgText, "403.500");
  EXPECT_TRUE(o.verbose);
  EXPECT_EQ(o.name, "Test.Doc");
  EXPECT_TRUE(o.printReady);
  EXPECT_TRUE(o.registerProgId);

  o = {};
  ASSERT_TRUE(ParseOptions(Args{"--udp", "50123", "--udp-bind", "::1"}, o, error)) << error;
  EXPECT_EQ(o.input, Options::Input::kUdp);
  EXPECT_EQ(o.udpPort, 50123);
  EXPECT_EQ(o.udpBind, "::1");

  o = {};
  ASSERT_TRUE(ParseOptions(Args{"--udp", "65535"}, o, error));
  EXPECT_EQ(o.udpBind, "127.0.0.1");

  o = {};
  ASSERT_TRUE(ParseOptions(Args{"--switch-after", "3"}, o, error)) << error;
  EXPECT_EQ(o.switchAfterSeconds, 3);
  ASSERT_TRUE(ParseOptions(Args{"--switch-after", "86400"}, o, error)) << error;
  EXPECT_EQ(o.switchAfterSeconds, 86400);

  o = {};
  ASSERT_TRUE(ParseOptions(Args{"--qrg", "1680"}, o, error));
  EXPECT_EQ(o.qrgText, "1680.000");

  o = {};
  ASSERT_TRUE(ParseOptions(Args{"--verbose", "--help", "--bogus"}, o, error));
  EXPECT_TRUE(o.help);
}

TEST(ParseOptionsTest, FaultsAreNamed) {
  struct Case {
    Args args;
    const char* says;
  } cases[] = {
      {{"--bogus"}, "unknown option --bogus"},
      {{"-"}, "unknown option -"},
      {{"--input"}, "--input needs a value"},
      {{"--input", ""}, "--input needs a FILE"},
      {{"--input", "a", "--input", "b"}, "second --input"},
      {{"--input", "a", "--udp", "5000"}, "cannot go with --input"},
      {{"--udp", "5000", "--input", "a"}, "cannot go with --udp"},
      {{"--udp", "0"}, "from 1 to 65535"},
      {{"--udp", "65536"}, "from 1 to 65535"},
      {{"--udp", "50x"}, "from 1 to 65535"},
      {{"--udp", "-1"}, "from 1 to 65535"},
      {{"--udp-bind", "0.0.0.0"}, "--udp-bind goes with --udp"},
      {{"--udp", "5000", "--exit-on-eof"}, "no meaning with --udp"},
      {{"--qrg", "0"}, "--qrg needs a frequency"},
      {{"--qrg", "-403.5"}, "--qrg needs a frequency"},
      {{"--qrg", "403,5"}, "--qrg needs a frequency"},
      {{"--qrg", "nan"}, "--qrg needs a frequency"},
      {{"--qrg", "inf"}, "--qrg needs a frequency"},
      {{"--qrg", "1e300"}, "--qrg needs a frequency"},
      {{"--qrg", "403.5MHz"}, "--qrg needs a frequency"},
      {{"--qrg", ""}, "--qrg needs a frequency"},
      {{"--serial"}, "--serial needs a value"},
      {{"--serial", ""}, "--serial needs a sonde's ID"},
      {{"--switch-after"}, "--switch-after needs a value"},
      {{"--switch-after", "0"}, "whole SECONDS from 1 to 86400"},
      {{"--switch-after", "86401"}, "whole SECONDS from 1 to 86400"},
      {{"--switch-after", "2.5"}, "whole SECONDS from 1 to 86400"},
      {{"--switch-after", "-3"}, "whole SECONDS from 1 to 86400"},
      {{"--switch-after", ""}, "whole SECONDS from 1 to 86400"},
      {{"--switch-after", "99999999999"}, "whole SECONDS from 1 to 86400"},
      {{"--serial", "S1", "--switch-after", "5"}, "no meaning with --serial"},
      {{"--switch-after", "5", "--serial", "S1"}, "no meaning with --serial"},
  };
  for (const auto& c : cases) {
    Options o;
    std::string error;
    EXPECT_FALSE(ParseOptions(c.args, o, error)) << c.says;
    EXPECT_NE(error.find(c.says), std::string::npos) << error;
  }
}

}  // namespace
}  // namespace bridge
