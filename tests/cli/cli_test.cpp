// The vm612k binary run as a subprocess on the emulator: its stdout, exit
// status and the emulator's flash file; and the parts of it that need no
// subprocess.
#include "tests/cli/cli_support.h"

TEST(CliOptions, SizeLabelsInEveryForm) {
    EXPECT_EQ(parseFlashSize("8Mbit"), 5);
    EXPECT_EQ(parseFlashSize("8  Mbit"), 5);
    EXPECT_EQ(parseFlashSize("8mbit"), 5);
    EXPECT_EQ(parseFlashSize("128MBIT"), 9);
    EXPECT_EQ(parseFlashSize("256Kbit"), 0);
    EXPECT_EQ(parseFlashSize("1048576"), 5);
    EXPECT_EQ(parseFlashSize("16 mbit"), 6);
    EXPECT_EQ(parseFlashSize("1048577"), -1);
    EXPECT_EQ(parseFlashSize("9Mbit"), -1);
    EXPECT_EQ(parseFlashSize(""), -1);
}

TEST(CliJson, EscapesAndHoldsTheFields) {
    RunReport report{"read", "ok", "", 0, 16, 0xABCDEF, 1.5, {"a\"b", "c\\d", "\x01"}, ""};
    EXPECT_EQ(toJson(report),
              "{\"command\":\"read\",\"result\":\"ok\",\"failed_step\":\"\",\"exit_status\":0,\"image_size\":16,"
              "\"checksum\":\"0xABCDEF\",\"elapsed_seconds\":1.5,\"erase_skipped\":false,"
              "\"log\":[\"a\\\"b\",\"c\\\\d\",\"\\u0001\"]}");
}

// Any bytes make JSON text: valid UTF-8 as it is, and each other byte as the
// Latin-1 character of its value, so that no byte's information is lost.
TEST(CliJson, AnyBytesAreTextAndNoByteIsLost) {
    EXPECT_EQ(jsonText("plain \xe7\xab\x99 \xf0\x9f\x98\x80"), "plain \xe7\xab\x99 \xf0\x9f\x98\x80");
    EXPECT_EQ(jsonText("gbk-\xb2\xe2.bin"), "gbk-\xc2\xb2\xc3\xa2.bin");      // not UTF-8: each byte stands alone
    EXPECT_EQ(jsonText("\xc0\xaf"), "\xc3\x80\xc2\xaf");                      // an overlong '/'
    EXPECT_EQ(jsonText("\xed\xa0\x80"), "\xc3\xad\xc2\xa0\xc2\x80");         // a surrogate
    EXPECT_EQ(jsonText("cut \xe7\xab"), "cut \xc3\xa7\xc2\xab");               // a sequence cut short
    EXPECT_EQ(jsonText("\xf4\x90\x80\x80"), "\xc3\xb4\xc2\x90\xc2\x80\xc2\x80");  // beyond U+10FFFF
    // Every text of a value, however deep, reads back as those characters.
    const std::string line = jsonLine(Json{{"name", "img-\xff"}, {"lines", {"\x01\b\n", "\xfe"}}});
    EXPECT_EQ(line, "{\"name\":\"img-\xc3\xbf\",\"lines\":[\"\\u0001\\b\\n\",\"\xc3\xbe\"]}");
    const Json back = Json::parse(line);
    EXPECT_EQ(back["name"].get<std::string>(), "img-\xc3\xbf");
    EXPECT_EQ(back["lines"][1].get<std::string>(), "\xc3\xbe");
    EXPECT_EQ(roundedTo(0.30049, 3), 0.3);
    EXPECT_EQ(roundedTo(2.41051, 3), 2.411);
}

TEST(CliProgress, ShowsPhasePercentBytesRateAndEta) {
    std::string line = ProgressBar::render("program", 50, 524288, 1048576, 2.0);
    EXPECT_NE(line.find("program"), std::string::npos);
    EXPECT_NE(line.find(" 50%"), std::string::npos);
    EXPECT_NE(line.find("512 KiB / 1.0 MiB"), std::string::npos);
    EXPECT_NE(line.find("256 KiB/s"), std::string::npos);
    EXPECT_NE(line.find("ETA 2s"), std::string::npos);
}

// The binary runs as a subprocess through the POSIX shell.
#if !defined(_WIN32)
TEST_F(CliTest, OneKeyThenReadBackGivesTheImage) {
    fs::path img = image("img.bin", 100000);
    CliRun onekey = run(sim(",size=8Mbit") + " -s 8Mbit onekey img.bin");
    EXPECT_EQ(onekey.status, 0) << onekey.err;
    ASSERT_GE(onekey.out.size(), 9u);
    EXPECT_EQ(Lines(onekey.out.begin(), onekey.out.begin() + 2), kStart);
    EXPECT_EQ(onekey.out[2], "img.bin");
    EXPECT_EQ(onekey.out[3], "FileSize(Byte):100000->FlashSize(Mbit):0.762939");
    EXPECT_EQ(onekey.out[4], "ReadFile OK...");
    EXPECT_EQ(onekey.out[6], "Set Flash OK...");
    EXPECT_EQ(tail(onekey.out, 7),
              (Lines{"Disable write protection...", "Erasing...Please wait...",
                     "succeed : erase whole flash...", "Programming...Please wait...",
                     "program done...", "Verifying...Please wait...", "Verify pass..."}));
    EXPECT_TRUE(onekey.err.empty()) << onekey.err;  // no terminal: no bar

    std::string flash = slurp(dir_ / "flash.bin");
    EXPECT_EQ(flash.substr(0, 100000), slurp(img));

    CliRun read = run(sim(",size=8Mbit") + " -s \"8  Mbit\" read -o out.bin");
    EXPECT_EQ(read.status, 0) << read.err;
    EXPECT_EQ(read.out.back(), "SaveFile OK...");
    EXPECT_EQ(slurp(dir_ / "out.bin").substr(0, 1048576), flash.substr(0, 1048576));

    CliRun verify = run(sim(",size=8Mbit") + " -s 1048576 verify img.bin");
    EXPECT_EQ(verify.status, 0);
    EXPECT_EQ(tail(verify.out, verify.out.size() - 2),
              (Lines{"Verifying...Please wait...", "Verify pass..."}));
}

TEST_F(CliTest, EraseBlankAndProgramOnAGoodRun) {
    image("img.bin", 4096);
    CliRun blank = run(sim() + " -s 1Mbit blank");
    EXPECT_EQ(blank.status, 0);
    EXPECT_EQ(blank.out.back(), "Flash is blank...");
    CliRun program = run(sim() + " -s 1Mbit program img.bin");
    EXPECT_EQ(program.status, 0);
    EXPECT_EQ(program.out.back(), "program done...");
    blank = run(sim() + " -s 1Mbit blank");
    EXPECT_EQ(blank.status, 1);
    EXPECT_EQ(blank.out.back(), "Flash is not blank...");
    CliRun erase = run(sim() + " -s 1Mbit erase");
    EXPECT_EQ(erase.status, 0);
    EXPECT_EQ(erase.out.back(), "Success : erase whole flash...");
    blank = run(sim() + " -s 1Mbit blank");
    EXPECT_EQ(blank.status, 0);
}

TEST_F(CliTest, EmulatorFaultsGiveTheirExitStatus) {
    image("img.bin", 131072);
    struct Case {
        std::string config, command;
        int status;
        std::string lastLine;
    };
    const Case cases[] = {
        // A content result is 1, a failed transfer 4.
        {",unplug=3", "-s 1Mbit read -o out.bin", 4, "Buffer checksum:0x0"},
        {",unplug=3", "-s 1Mbit program img.bin", 4, "program fail..."},
        {",unplug=3", "-s 1Mbit blank", 4, "Flash is not blank..."},
        {",unplug=3", "-s 1Mbit verify img.bin", 4, "Verify fail..."},
        {",badsum=2", "-s 1Mbit program img.bin", 4, "program fail..."},
        {",badsum=2", "-s 1Mbit onekey img.bin", 4, "program fail..."},
        {"", "-s 1Mbit verify img.bin", 1, "Verify fail..."},
        {",erase=fail", "-s 1Mbit erase", 0, "Erase flash OK..."},
        {",size=1Mbit,erase=stuck,protect=1", "-s 1Mbit erase", 0, "Erase flash OK..."},
        {",size=1Mbit,erase=fail,miso=1", "-s 1Mbit onekey img.bin", 4, "Erase flash failed.."},
        {",size=1Mbit,erase=fail,miso=1", "-s 1Mbit erase", 4, "Erase flash failed.."},
        {",programmers=0", "-s 1Mbit blank", 3, "Connect to USB Device fail.."},
        {"", "-s 1Mbit -p 1 blank", 3, "Connect to USB Device fail.."},
        {",programmers=2", "-s 1Mbit -p 1 blank", 0, "Flash is blank..."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.config + " " + c.command);
        fs::remove(dir_ / "flash.bin");
        fs::remove(dir_ / "out.bin");
        CliRun r = run(sim(c.config) + " " + c.command);
        EXPECT_EQ(r.status, c.status) << r.err;
        ASSERT_FALSE(r.out.empty());
        EXPECT_EQ(r.out.back(), c.lastLine);
    }
    EXPECT_FALSE(fs::exists(dir_ / "out.bin"));  // a failed read saves nothing
}

TEST_F(CliTest, UsageAndInputErrorsExitWithTwo) {
    image("img.bin", 10);
    const std::string cases[] = {
        "--bogus list",
        "-s 8Mbit",                            // no command
        "read",                                // no size, no output
        "-s 8Mbit read",                       // no output
        "-s 9Mbit blank",                      // bad size
        "-s 8Mbit program missing.bin",        // missing file
        "-s 8Mbit program",                    // no file
        "--lang fr -s 8Mbit blank",            // bad language
        "-s 8Mbit onekey img.bin --no-erase --no-program --no-verify",
        "--sim=size=3Mbit -s 8Mbit blank",     // bad emulator configuration
        "--sim=nothing=1 list",
    };
    for (const std::string& args : cases) {
        SCOPED_TRACE(args);
        CliRun r = run(args + (args.find("--sim") == std::string::npos ? " --sim" : ""));
        EXPECT_EQ(r.status, 2);
        EXPECT_TRUE(r.out.empty());
        EXPECT_FALSE(r.err.empty());
    }
    // A file that exists but cannot be loaded: its lines, then 2.
    fs::create_directory(dir_ / "folder");
    CliRun r = run(sim() + " -s 8Mbit program folder");
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out.back().rfind("OpenFile error!!ErrorCode:", 0), 0u);
}

TEST_F(CliTest, EnvironmentSelectsTheEmulatorAndTheOptionWins) {
    CliRun env = run("-s 1Mbit blank", "VM612K_SIM=erase_ms=0,programmers=0");
    EXPECT_EQ(env.status, 3);
    CliRun option = run("--sim=erase_ms=0 -s 1Mbit blank", "VM612K_SIM=programmers=0");
    EXPECT_EQ(option.status, 0);
}

TEST_F(CliTest, ListShowsEachProgrammerAndNeverFails) {
    CliRun two = run("--sim=programmers=2,others=1 list");
    EXPECT_EQ(two.status, 0);
    ASSERT_EQ(two.out.size(), 2u);
    EXPECT_EQ(two.out[0].rfind("0 USB", 0), 0u);
    EXPECT_EQ(two.out[1].rfind("1 USB", 0), 0u);
    CliRun none = run("--sim=programmers=0 list");
    EXPECT_EQ(none.status, 0);
    EXPECT_TRUE(none.out.empty());
    EXPECT_NE(none.err.find("no programmer found"), std::string::npos);
}

// Item: with --json stdout holds one JSON object and nothing else.
TEST_F(CliTest, JsonIsTheOnlyOutputAndHoldsTheLog) {
    const fs::path img = image("img.bin", 2048);
    CliRun plain = run(sim(",size=2Mbit") + " -s 2Mbit program img.bin");
    ASSERT_EQ(plain.status, 0) << plain.err;
    CliRun r = run(sim(",size=2Mbit") + " --json -s 2Mbit program img.bin");
    EXPECT_EQ(r.status, 0);
    ASSERT_EQ(r.out.size(), 1u) << joinedForTest(r.out);
    const std::string& json = r.out[0];
    EXPECT_EQ(json.front(), '{');
    EXPECT_EQ(json.back(), '}');
    EXPECT_NE(json.find("\"command\":\"program\",\"result\":\"ok\",\"failed_step\":\"\""),
              std::string::npos) << json;
    EXPECT_NE(json.find("\"image_size\":2048,"), std::string::npos);
    std::uint64_t sum = 0;
    for (unsigned char c : slurp(img)) sum += c;
    char checksum[32];
    std::snprintf(checksum, sizeof checksum, "\"checksum\":\"0x%llX\"", static_cast<unsigned long long>(sum));
    EXPECT_NE(json.find(checksum), std::string::npos) << json;
    std::size_t at = 0;  // every line of the plain run, in order
    for (const std::string& line : plain.out) {
        at = json.find(jsonLine(Json(line)), at);
        EXPECT_NE(at, std::string::npos) << line;
    }
    EXPECT_TRUE(r.err.empty()) << r.err;
    CliRun verbose = run(sim(",size=2Mbit") + " --json -v -s 2Mbit blank");
    EXPECT_EQ(verbose.out.size(), 1u);
    EXPECT_NE(verbose.err.find("Flash is not blank...\n"), std::string::npos) << verbose.err;
    EXPECT_EQ(verbose.status, 1);
    EXPECT_NE(verbose.out[0].find("\"failed_step\":\"blank\""), std::string::npos);
}

TEST_F(CliTest, JsonStringsAreUtf8WhateverTheFileName) {
    image("img-\xff\xc3(.bin", 100);
    CliRun r = run(sim(",size=2Mbit") + " --json -s 2Mbit verify \"$(printf 'img-\\377\\303(.bin')\"");
    ASSERT_EQ(r.out.size(), 1u) << r.err;
    // Each byte that is not UTF-8 is the Latin-1 character of its value: ÿÃ.
    EXPECT_NE(r.out[0].find("img-\xc3\xbf\xc3\x83(.bin"), std::string::npos) << r.out[0];
    EXPECT_EQ(r.out[0].find('\xff'), std::string::npos);
}

TEST_F(CliTest, JsonForListErrorsAndAFailedWrite) {
    CliRun list = run("--sim=programmers=2 --json list");
    EXPECT_EQ(list.status, 0);
    ASSERT_EQ(list.out.size(), 1u);
    EXPECT_EQ(list.out[0].rfind("[{\"index\":0,\"ports\":[{\"name\":", 0), 0u) << list.out[0];
    EXPECT_NE(list.out[0].find("{\"index\":1,"), std::string::npos);
    EXPECT_EQ(list.out[0].back(), ']');
    for (const char* usage : {"--json --bogus list", "--json -s 9Mbit blank", "--json read"}) {
        SCOPED_TRACE(usage);
        CliRun r = run(std::string(usage) + " --sim");
        EXPECT_EQ(r.status, 2);
        ASSERT_EQ(r.out.size(), 1u);
        EXPECT_EQ(r.out[0].rfind("{\"command\":\"\",\"result\":\"usage-error\"", 0), 0u) << r.out[0];
        EXPECT_NE(r.out[0].find(",\"error\":\""), std::string::npos);
    }
    CliRun input = run(sim() + " --json -s 2Mbit program missing.bin");
    EXPECT_EQ(input.status, 2);
    ASSERT_EQ(input.out.size(), 1u);
    EXPECT_NE(input.out[0].find("\"result\":\"input-error\""), std::string::npos);
    // The object cannot be delivered: the run does not count as a success.
    CliRun closed = shell(quote(VM612K_CLI_PATH) + " " + sim(",size=256Kbit") + " --json -s 256Kbit blank >/dev/full");
    EXPECT_EQ(closed.status, 2);
    EXPECT_NE(closed.err.find("standard output could not be written"), std::string::npos) << closed.err;
}

// Names may not be empty; numbers are plain decimals in range, refused in
// one short line.
TEST_F(CliTest, EmptyNamesAndBadNumbersAreUsageErrors) {
    image("img.bin", 10);
    const std::pair<std::string, std::string> cases[] = {
        {"-s 1Mbit onekey img.bin --all --expect-checksum ''", "--expect-checksum: may not be empty"},
        {"-s 1Mbit onekey img.bin --all --log ''", "--log: may not be empty"},
        {"-s 1Mbit station img.bin --log ''", "--log: may not be empty"},
        {"-s 1Mbit erase --erase=when-blank", "--erase: when-blank not in {always,if-needed}"},
        {"-s 1Mbit program img.bin --erase=if-needed",
         "The following argument was not expected: --erase=if-needed"},
        {"-s 1Mbit station img.bin --station-name ''", "--station-name: may not be empty"},
        {"-s 1Mbit station img.bin --count 0x10",
         "--count takes a whole number from 1 to 4294967295, not '0x10'"},
        {"-s 1Mbit station img.bin --count abc",
         "--count takes a whole number from 1 to 4294967295, not 'abc'"},
        {"-s 1Mbit station img.bin --count -1",
         "--count takes a whole number from 1 to 4294967295, not '-1'"},
        {"-s 1Mbit station img.bin --count 0",
         "--count takes a whole number from 1 to 4294967295, not '0'"},
        {"-s 1Mbit station img.bin --count 1e400",
         "--count takes a whole number from 1 to 4294967295, not '1e400'"},
        {"-p 0x10 -s 1Mbit blank", "--programmer takes a whole number from 0 to 65535, not '0x10'"},
        {"-p -1 -s 1Mbit blank", "--programmer takes a whole number from 0 to 65535, not '-1'"},
        {"-p abc list", "--programmer takes a whole number from 0 to 65535, not 'abc'"},
    };
    for (const auto& [args, message] : cases) {
        SCOPED_TRACE(args);
        CliRun r = run(sim() + " " + args);
        EXPECT_EQ(r.status, 2);
        EXPECT_TRUE(r.out.empty());
        EXPECT_EQ(r.err, "vm612k: " + message + "\nRun with --help for usage.\n");
    }
    // The language in either case.
    for (const char* lang : {"SC", "sc", "Sc"}) {
        CliRun r = run(sim() + " --lang " + lang + " -s 1Mbit blank");
        EXPECT_EQ(r.status, 0) << lang;
        ASSERT_FALSE(r.out.empty());
        EXPECT_EQ(r.out[0], "加载 HID 设备驱动成功...");
    }
    CliRun english = run(sim() + " --lang EN -s 1Mbit blank");
    EXPECT_EQ(english.status, 0);
    EXPECT_EQ(english.out.at(0), "Loading HID Device to default ok...");
    // Each command's help names the size it needs.
    for (const char* command : {"read", "erase", "blank", "program", "verify", "onekey", "station"}) {
        const std::string help = joinedForTest(run(std::string(command) + " --help").out);
        EXPECT_NE(help.find("Needs -s/--size SIZE"), std::string::npos) << command << help;
    }
    EXPECT_NE(joinedForTest(run("read --help").out).find("-o,--output TEXT REQUIRED"), std::string::npos);
}

TEST_F(CliTest, ChineseLinesInUtf8) {
    CliRun r = run(sim() + " --lang sc -s 1Mbit blank");
    EXPECT_EQ(r.status, 0);
    ASSERT_EQ(r.out.size(), 5u);
    EXPECT_EQ(r.out[0], "加载 HID 设备驱动成功...");
    EXPECT_EQ(r.out[2], "初始化flash OK...");
    EXPECT_EQ(r.out[4], "Flash是空的...");
}

TEST_F(CliTest, LargeFileWarningGoesToStderrAndTheLoadGoesOn) {
    image("big.bin", 16777217);
    CliRun r = run(sim(",size=128Mbit") + " -s 128Mbit verify --truncate big.bin");
    EXPECT_NE(r.err.find("warning: Impoteded file is > 128Mbit !!!!!!"), std::string::npos);
    EXPECT_EQ(r.out[4], "ReadFile OK...");
    EXPECT_EQ(r.status, 1);  // an erased flash does not hold the image
}
// Item: an image larger than the flash is an input error before anything
// is sent, unless --truncate.
TEST_F(CliTest, ImageLargerThanTheFlashNeedsTruncate) {
    const fs::path img = image("img.bin", 40000);
    for (const char* command : {"program", "verify", "onekey"}) {
        SCOPED_TRACE(command);
        CliRun r = run(sim(",size=256Kbit") + " -s 256Kbit " + command + " img.bin");
        EXPECT_EQ(r.status, 2);
        EXPECT_TRUE(r.out.empty());
        EXPECT_NE(r.err.find("40000 bytes) is larger than the 256Kbit flash (32768 bytes)"),
                  std::string::npos) << r.err;
        EXPECT_FALSE(fs::exists(dir_ / "flash.bin"));  // no emulator was even started
    }
    CliRun r = run(sim(",size=256Kbit") + " -s 256Kbit onekey --truncate img.bin");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.back(), "Verify pass...");
    EXPECT_EQ(slurp(dir_ / "flash.bin"), slurp(img).substr(0, 32768));
}

// Item: signals. vm612k runs as a child whose stdout is a pipe of the test;
// a signal is sent when a given line has been read from it, so the order is

#endif  // !_WIN32
