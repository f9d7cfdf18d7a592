// DemoCommand: `ambivox demo`, the whole product on one machine with nothing to set up. In a
// private registry store it registers the module, simulates an NX2 and an N15 device (XML
// documents on loopback ports) and a Model Q device (on a pseudo-terminal), polls each once and
// prints the readings. Where it can have a private network namespace it also shows an N3 device
// read through its text pages on port 80, by running `ambivox demo text-pages` inside one.
#pragma once

namespace ambivox::cli {

class DemoCommand {
public:
    static int run();
    // The N3 part alone: serves the text pages on 127.0.0.1:80 and polls them. exit_setup when
    // that port cannot be had.
    static int text_pages();
};

}  // namespace ambivox::cli
