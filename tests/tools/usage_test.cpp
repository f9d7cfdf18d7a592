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
    struct bad {
        std::vector<std::string> args;
        char const* says;
    };
    for (auto const& b : std::vector<bad>{
             {{}, "say what to do"},
             {{"fly"}, "unknown command \"fly\""},
             {{"poll"}, "poll needs at least one device"},
             {{"poll", "modeln"}, "modeln needs an ADDRESS"},
             {{"poll", "modeln", "--model", "N3"}, "modeln needs an ADDRESS"},
             {{"poll", "modeln", "10.0.0.5/x"}, "is not a device address"},
             {{"poll", "modeln", "10.0.0.5", "--model", "N9"}, "unknown model \"N9\""},
             {{"poll", "modeln", "10.0.0.5", "--model"}, "--model needs a value"},
             {{"poll", "--name", "Lab", "modeln", "10.0.0.5"}, "--name belongs after the device"},
             {{"poll", "modelq", "COM3", "--model", "N3"}, "a Model Q device has no model"},
             {{"poll", "modelq", "COMX"}, "\"COMX\" is not a serial port"},
             {{"poll", "modelq", "0"}, "\"0\" is not a serial port"},
             {{"poll", "modeln", "h", "--json", "--prometheus"}, "choose one output"},
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
             {{"poll", "modeln", "h", "--verbose"}, "unexpected argument \"--verbose\""},
             {{"registry"}, "registry dump [KEY]"},
             {{"ports", "map", "COM3"}, "ports map needs the DEVICE"},
             {{"ports", "unmap", "COM3", "extra"}, "unexpected argument \"extra\""},
             {{"simulate", "modelz"}, "simulate needs a device"},
             {{"simulate", "modeln", "--fault", "sometimes"}, "unknown fault \"sometimes\""},
             {{"simulate", "modeln", "--probes", "T:A,H:B"}, "temperature probes only"},
             {{"simulate", "modeln", "--listen", "127.0.0.1:http"}, "--listen needs ADDRESS:PORT"},
             {{"simulate", "modelq", "--com", "COM0"}, "--com needs a port number"},
             {{"demo", "now"}, "demo takes no arguments"},
         }) {
        auto const run = ambivox(b.args);
        std::string joined;
        for (auto const& arg : b.args)
            joined += arg + " ";
        EXPECT_EQ(run.code, 2) << joined << run.err;
        EXPECT_EQ(run.out, "") << joined;
        EXPECT_NE(run.err.find(b.says), std::string::npos) << joined << "\n" << run.err;
        EXPECT_NE(run.err.find("Try 'ambivox --help'."), std::string::npos) << joined;
    }
}

TEST_F(Usage, HelpDocumentsTheCommandsAndExitCodes) {
    for (auto const& args : std::vector<std::vector<std::string>>{
             {"--help"}, {"help"}, {"-h"}, {"poll", "--help"}, {"ports", "--help"}}) {
        auto const run = ambivox(args);
        EXPECT_EQ(run.code, 0);
        EXPECT_EQ(run.err, "");
        for (char const* text :
             {"ambivox poll DEVICE...", "ambivox simulate modeln", "ambivox demo",
              "ambivox registry dump [KEY]", "ambivox ports map COMn DEVICE", "--output FILE",
              "Exit codes:", "0  everything worked", "1  some devices could not be read",
              "2  bad usage", "3  setup failure"})
            EXPECT_NE(run.out.find(text), std::string::npos) << text;
    }
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
