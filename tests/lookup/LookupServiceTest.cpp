// The lookup client against the stand-in lookup service (nginx), started on a free port by the
// test and stopped at its end.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <regex>

#include "lookup/FilingFields.h"
#include "lookup/LookupClient.h"
#include "support/ScriptedLookup.h"

namespace {

// Runs a command and returns its standard output; fails the test when it exits non-zero.
std::string RunCommand(const std::string& command) {
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
    std::string out;
    char buf[512];
    while (pipe && fgets(buf, sizeof buf, pipe.get())) {
        out += buf;
    }
    const int status = pclose(pipe.release());
    EXPECT_EQ(status, 0) << command << "\n" << out;
    return out;
}

class LookupService : public testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/cy-lookup-service.XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        runtime_ = pattern;
        const std::string out = RunCommand("CY_SERVICE_DIR=" + runtime_ +
                                           "/rt " CY_SERVICE_DIR "/start 127.0.0.1:0 2>&1");
        std::smatch m;
        ASSERT_TRUE(
            std::regex_search(out, m, std::regex("listening on (http://127\\.0\\.0\\.1:[0-9]+)")))
            << out;
        base_ = m[1];
    }
    void TearDown() override {
        if (!base_.empty()) {
            RunCommand("CY_SERVICE_DIR=" + runtime_ + "/rt " CY_SERVICE_DIR "/stop " +
                       base_.substr(std::string("http://").size()) + " 2>&1");
        }
        std::filesystem::remove_all(runtime_);
    }

    // The program's lookup URL for a domain, aimed at the service's port.
    std::string UrlFor(std::string_view domain) const {
        return lookup::LookupUrl(domain, cytest::LookupBase(base_));
    }

    std::string runtime_;
    std::string base_;
};

std::map<lookup::FilingField, std::string> Fields(const std::string& page) {
    std::map<lookup::FilingField, std::string> fields;
    lookup::ExtractFilingFields(page, false,
                                [&](lookup::FilingField f, std::string v) { fields[f] = v; });
    return fields;
}

TEST_F(LookupService, FiledAndUnfiledPagesParse) {
    lookup::LookupClient client;
    const auto filed = Fields(client.FetchPage(UrlFor(" example.com\r\n")));
    // 京ICP备00000001号-1
    EXPECT_EQ(filed.at(lookup::FilingField::FilingNo),
              "\xBE\xA9"
              "ICP"
              "\xB1\xB8"
              "00000001"
              "\xBA\xC5"
              "-1");
    // 某某科技有限公司
    EXPECT_EQ(filed.at(lookup::FilingField::Sponsor),
              "\xC4\xB3\xC4\xB3\xBF\xC6\xBC\xBC\xD3\xD0\xCF\xDE\xB9\xAB\xCB\xBE");
    EXPECT_EQ(filed.at(lookup::FilingField::ReviewDate), "2010-05-20");

    const auto unfiled = Fields(client.FetchPage(UrlFor("not-filed.example")));
    EXPECT_EQ(unfiled.at(lookup::FilingField::FilingNo), "");

    // Many lookups in a row over the kept connection keep working.
    for (int i = 0; i < 200; ++i) {
        EXPECT_FALSE(client.FetchPage(UrlFor("example.net")).empty());
    }
}

}  // namespace
