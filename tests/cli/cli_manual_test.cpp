// Packaging through the real binary: the manual page against --help, and
// the Debian package.
#include "tests/cli/cli_support.h"

#if !defined(_WIN32)
namespace {

using Words = std::set<std::string>;

Words matches(const std::string& text, const std::string& pattern) {
    Words found;
    const std::regex re(pattern, std::regex::multiline);
    for (auto it = std::sregex_iterator(text.begin(), text.end(), re); it != std::sregex_iterator(); ++it) {
        found.insert((*it)[1]);
    }
    return found;
}

std::string joined(const Lines& lines) {
    std::string text;
    for (const std::string& line : lines) text += line + "\n";
    return text;
}

// The page as text: no comment lines, no font changes, plain hyphens.
std::string manualText(const std::string& roff) {
    std::string text = std::regex_replace(roff, std::regex(R"(^\.\\".*\n)", std::regex::multiline), "");
    text = std::regex_replace(text, std::regex(R"(\\f[BIRP])"), "");
    return std::regex_replace(text, std::regex(R"(\\-)"), "-");
}

// The first words of the tagged paragraphs (.TP) of one section.
Words tags(const std::string& text, const std::string& section) {
    const std::size_t start = text.find("\n.SH " + section + "\n");
    if (start == std::string::npos) return {};
    const std::size_t end = text.find("\n.SH ", start + 1);
    return matches(text.substr(start, end - start), R"(^\.TP\n\.[BIR]*\s+"?([a-z0-9_]+))");
}

const char* kOption = R"((?:^|[\s,\[(])(--?[a-z][a-z-]*))";

}  // namespace

TEST_F(CliTest, ManualPageNamesWhatTheHelpNames) {
    const std::string help = joined(run("--help").out);
    std::string allHelp = help;
    const Words commands = matches(help.substr(help.find("Subcommands:")), R"(^  ([a-z]+)  )");
    ASSERT_GE(commands.size(), 7u) << help;
    for (const std::string& command : commands) {
        const std::string commandHelp = joined(run(command + " --help").out);
        allHelp += commandHelp;
        // A command of commands (job new, job check): each one's help too.
        if (commandHelp.find("Subcommands:") == std::string::npos) continue;
        for (const std::string& sub : matches(commandHelp.substr(commandHelp.find("Subcommands:")),
                                              R"(^  ([a-z]+)  )"))
            allHelp += joined(run(command + " " + sub + " --help").out);
    }

    const std::string manual = manualText(slurp(VM612K_MAN_PAGE));
    const Words helpOptions = matches(allHelp, kOption);
    for (const std::string& option : helpOptions) {
        EXPECT_TRUE(std::regex_search(manual, std::regex("(^|[^a-z-])" + option + "([^a-z-]|$)")))
            << option << " is in the help but not in the manual page";
    }
    for (const std::string& option : matches(manual, kOption)) {
        EXPECT_TRUE(helpOptions.count(option)) << option << " is in the manual page but not in the help";
    }
    EXPECT_EQ(tags(manual, "COMMANDS"), commands);
    EXPECT_EQ(tags(manual, "EMULATOR"), matches(help, R"(^  ([a-z_]+)=)"));
    EXPECT_EQ(tags(manual, "EXIT STATUS"), matches(help.substr(help.find("Exit status:")), R"(([0-9]+) [a-z])"));
}

TEST_F(CliTest, DebianPackageInstallsAProgramThatRuns) {
#if defined(VM612K_CPACK_CONFIG)
    CliRun pack = shell(quote(VM612K_CPACK) + " --config " + quote(VM612K_CPACK_CONFIG) + " -B pack");
    ASSERT_EQ(pack.status, 0) << pack.err << joined(pack.out);
    fs::path deb;
    for (const auto& entry : fs::directory_iterator(dir_ / "pack")) {
        if (entry.path().extension() == ".deb") deb = entry.path();
    }
    ASSERT_FALSE(deb.empty()) << joined(pack.out);
    EXPECT_EQ(deb.filename().string().rfind(std::string("vm612k_") + VM612K_VERSION + "_", 0), 0u) << deb;
    CliRun fields = shell("dpkg-deb -f " + quote(deb.string()) + " Package Depends");
    EXPECT_EQ(fields.out.at(0), "Package: vm612k");
    EXPECT_NE(fields.out.at(1).find("libc6"), std::string::npos) << fields.out.at(1);

    ASSERT_EQ(shell("dpkg -x " + quote(deb.string()) + " root").status, 0);
    const fs::path program = dir_ / "root/usr/bin/vm612k";
    CliRun version = shell(quote(program.string()) + " --version");
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, Lines{std::string("vm612k ") + VM612K_VERSION});
    CliRun list = shell("env -u VM612K_SIM " + quote(program.string()) + " --sim list");
    EXPECT_EQ(list.status, 0) << list.err;
    EXPECT_EQ(list.out.size(), 1u);
    for (const char* file : {"usr/lib/udev/rules.d/60-vm612k.rules", "usr/share/man/man1/vm612k.1.gz",
                             "usr/share/doc/vm612k/README.md"}) {
        EXPECT_TRUE(fs::is_regular_file(dir_ / "root" / file)) << file;
    }
#else
    GTEST_SKIP() << "no Debian package in this build";
#endif
}
#endif  // !_WIN32
