// The sample configuration that is installed beside the documentation reads without a fault.

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

#include "config/config_reader.h"
#include "version/version.h"

namespace nimbrix {
namespace {

TEST(SampleConfiguration, ReadsAsTheKeywordFormatWithoutAFault) {
  std::ifstream in(NIMBRIX_SAMPLE_CONFIG, std::ios::binary);
  ASSERT_TRUE(in) << NIMBRIX_SAMPLE_CONFIG;
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  ASSERT_NE(text.find("\r\n"), std::string::npos) << "lines must end with CR LF";

  const ConfigResult read = ReadConfiguration(text);
  EXPECT_FALSE(read.exits());
  ASSERT_EQ(read.actions.size(), 2u);  // the format's line and the closing empty line
  EXPECT_EQ(read.actions[0].text, "Reading config file version config 2");
  const StationConfig& c = read.config;
  EXPECT_EQ(c.sUSER, "N0CALL-11");
  EXPECT_EQ(c.sPASS, "00000");
  EXPECT_EQ(c.sSTATUS, "Radiosonde receiving station");
  EXPECT_EQ(c.sSYMBOL, "/O");
  EXPECT_EQ(c.nQRG, 1);
  EXPECT_EQ(c.nID, 1);
  EXPECT_EQ(c.nFRAME, 1);
  EXPECT_EQ(c.nALTITUDE, 1);
  EXPECT_EQ(c.nOBJECT, 1);
  EXPECT_EQ(c.sWEB, "127.0.0.1,8080");
  EXPECT_EQ(read.servers.nSERVERS, 2);
  EXPECT_EQ(read.servers.sSERVER[1], "aprs.example.net,14580");
  EXPECT_EQ(c.LoginLine, (std::string("user N0CALL-11 pass 00000 vers ") + kVersionText +
                          " filter b/ZZZZZ/\r\n"));
}

}  // namespace
}  // namespace nimbrix
