// What the program answers to a command line it cannot understand (exit code 2, a sentence on
// stderr, nothing on stdout) and to a registry store without the module or that is no store at
// all (exit code 3).
#include <fstream>
#include <string>
#include <vector>

#include "tests/tools/AmbivoxProgram.h"

namespace {

using ambivox::testing::ambivox;

class Usage : public ambivox::testing::AmbivoxTest {};

TEST_F(Usage, BadCommandLinesSayWhatIsWrong) {
    std::string const folder = registry.folder();
    struct bad {
        std::vector<std::string> args;
        char const* says;
        int code = 2;  // `check` speaks the monitoring-plugin tongue: UNKNOWN, on stdout
    };
    for (auto const& b : std::vector<bad>{
             {{}, "say what to do"},
             {{"fly"}, "unknown command \"fly\""},
             {{"poll"}, "poll needs at least one device"},
             {{"poll", "modeln"}, "modeln needs an ADDRESS"},
             {{"poll", "modeln", "--model", "N3"}, "modeln needs an ADDRESS"},
             {{"poll", "modeln", "10.0.0.5/x"}, "is not a device address"},
             {{"poll", "modeln", "10.0.0.5:0"}, "its port must be from 1 to 65535"},
             {{"poll", "modeln", "10.0.0.5:65536"}, "its port must be from 1 to 65535"},
             {{"poll", "modeln", "10.0.0.5", "--model", "N9"}, "unknown model \"N9\""},
             {{"poll", "modeln", "10.0.0.5", "--model"}, "--model"},
             {{"poll", "modeln", "10.0.0.5", "--modle", "N3"}, "unknown option \"--modle\""},
             {{"poll", "--name", "Lab", "modeln", "10.0.0.5"}, "--name belongs after the device"},
             {{"poll", "modelq", "COM3", "--model", "N3"}, "a Model Q device has no model"},
             {{"poll", "modelq", "COMX"}, "\"COMX\" is not a serial port"},
             {{"poll", "modelq", "0"}, "\"0\" is not a serial port"},
             {{"poll", "modeln", "h", "--json", "--prometheus"}, "choose one output"},
             {{"poll", "modeln", "h", "--format", "xml"}, "--format needs table, json"},
             {{"poll", "modeln", "h", "--unit", "K"}, "--unit needs C or F"},
             {{"poll", "modeln", "h", "--timeout", "0"}, "--timeout needs a number of seconds"},
             {{"poll", "modeln", "h", "--watch", "1", "--watch", "2"},
              "--watch is given more than once"},
             {{"poll", "modeln", "h", "--prometheus", "--watch", "1"},
              "--watch with --prometheus needs --output FILE"},
             {{"poll", "modeln", "h", "modeln", "h", "--prometheus"},
              "the device h is named twice"},
             {{"poll", "modelq", "COM3", "modelq", "3", "--prometheus", "--output", "f"},
              "the device COM3 is named twice"},
             {{"poll", "modeln", "h", "--watch", "0"}, "--watch needs a number of seconds"},
             {{"poll", "modeln", "h", "--watch", "soon"}, "--watch needs a number of seconds"},
             {{"poll", "modeln", "h", "--count", "2"}, "--count goes with --watch"},
             {{"poll", "modeln", "h", "--watch=1", "--count=0"}, "--count needs a whole number"},
             {{"poll", "modeln", "h", "--from", "/no/such/file"}, "cannot read the devices file"},
             {{"poll", "--from", folder}, "is a folder, not a devices file"},
             {{"poll", "modeln", "h", "--verbose"}, "unknown option \"--verbose\""},
             {{"check", "modeln"}, "AMBIVOX UNKNOWN - bad usage: modeln needs an ADDRESS", 3},
             {{"check", "modeln", "h", "-w", "20:10"}, "its start lies above its end", 3},
             {{"check", "modeln", "h", "-c", "hot"}, "\"hot\" is no threshold range", 3},
             {{"check", "modeln", "h", "-w", "/root:10"}, "quote a leading ~", 3},
             {{"check", "modeln", "h", "--bogus"}, "unknown option \"--bogus\"", 3},
             {{"registry"}, "registry needs one of: dump"},
             {{"ports", "map", "COM3"}, "DEVICE"},
             {{"ports", "unmap", "COM3", "extra"}, "unexpected argument \"extra\""},
             {{"simulate", "modelz"}, "simulate needs one of: modeln modelq"},
             {{"simulate", "modeln", "--fault", "sometimes"}, "unknown fault \"sometimes\""},
             {{"simulate", "modeln", "--probes", "T:A,H:B"}, "temperature probes only"},
             {{"simulate", "modeln", "--listen", "127.0.0.1:http"}, "--listen needs ADDRESS:PORT"},
             {{"simulate", "modeln", "--listen", "127.0.0.1:70000"}, "port from 1 to 65535"},
             {{"simulate", "modelq", "--com", "COM0"}, "--com needs a port number"},
             {{"demo", "now"}, "unexpected argument \"now\""},
         }) {
        auto const run = ambivox(b.args);
        std::string joined;
        for (auto const& arg : b.args)
            joined += arg + " ";
        EXPECT_EQ(run.code, b.code) << joined << run.err;
        std::string const& said = b.code == 3 ? run.out : run.err;
        EXPECT_EQ(b.code == 3 ? run.err : run.out, "") << joined;
        EXPECT_NE(said.find(b.says), std::string::npos) << joined << "\n" << said;
        if (b.code == 2) {
            EXPECT_NE(said.find("--help'."), std::string::npos) << joined;
        }
    }
}

// Each command's help is its own: its options and examples, not the others'.
TEST_F(Usage, EveryCommandHasItsOwnHelp) {
    struct help {
        std::vector<std::string> args;
        std::vector<char const*> has;
        char const* lacks;
    };
    for (auto const& h : std::vector<help>{
             {{"--help"},
              {"poll", "check", "simulate", "Exit codes:", "3  setup failure"},
              "--watch"},
             {{"help"}, {"poll", "check", "ports"}, "--watch"},
             {{"poll", "--help"}, {"ambivox poll", "--timeout", "--unit", "Examples:"}, "--listen"},
             {{"check", "--help"}, {"ambivox check", "--warning", "@10:20", "UNKNOWN"}, "--watch"},
             {{"ports", "--help"}, {"ambivox ports", "map", "unmap"}, "--watch"},
             {{"simulate", "modeln", "--help"}, {"--listen", "--fault", "Examples:"}, "--com"},
             {{"simulate", "modelq", "--help"}, {"--com", "--fault"}, "--listen"},
             {{"registry", "dump", "--help"}, {"KEY", "HKLM"}, "--watch"},
         }) {
        auto const run = ambivox(h.args);
        EXPECT_EQ(run.code, 0) << h.args[0];
        EXPECT_EQ(run.err, "");
        for (char const* text : h.has)
            EXPECT_NE(run.out.find(text), std::string::npos) << h.args[0] << ": " << text;
        EXPECT_EQ(run.out.find(h.lacks), std::string::npos) << h.args[0] << ": " << h.lacks;
    }
}

TEST_F(Usage, VersionNamesTheModuleAndTheStore) {
    auto const run = ambivox({"--version"});
    EXPECT_EQ(run.code, 0) << run.err;
    EXPECT_TRUE(run.out.starts_with("ambivox 1.")) << run.out;
    EXPECT_NE(run.out.find("registry store:    " + registry.path()), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("registered module: /"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("AmbivoxSDK.so\n"), std::string::npos) << run.out;
}

TEST_F(Usage, StoreWithoutTheModuleIsASetupFailure) {
    ambivox::testing::TempRegistry empty;  // the module is registered in the outer store only
    for (auto const& device : std::vector<std::vector<std::string>>{
             {"poll", "modeln", "127.0.0.1:9"}, {"poll", "modelq", "COM3"}}) {
        auto const run = ambivox(device);
        EXPECT_EQ(run.code, 3) << run.err;
        EXPECT_EQ(run.out, "");
        EXPECT_NE(run.err.find("the AmbivoxSDK module is not registered in the registry store " +
                               empty.path()),
                  std::string::npos)
            << run.err;
        EXPECT_NE(run.err.find("REGDB_E_CLASSNOTREG (0x80040154)"), std::string::npos) << run.err;
        EXPECT_NE(run.err.find("'ambivox register'"), std::string::npos) << run.err;
    }

    ambivox::testing::TempRegistry broken;
    std::ofstream(broken.path()) << "not a registry store";
    for (auto const& command : std::vector<std::vector<std::string>>{
             {"poll", "modeln", "127.0.0.1:9"}, {"ports"}, {"registry", "dump"}, {"register"}}) {
        auto const run = ambivox(command);
        EXPECT_EQ(run.code, 3) << command[0] << ": " << run.err;
        EXPECT_NE(run.err.find("0x800703F7"), std::string::npos) << command[0] << ": " << run.err;
    }
}

}  // namespace
