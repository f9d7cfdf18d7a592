#!/usr/bin/env python3
"""poll.py [ADDRESS [MODEL]]: polls a Model N device by name, as any script client would.

Register the module first (ambivox register) and put the ambivox package on PYTHONPATH when it
is not installed. ADDRESS defaults to 192.168.1.40, MODEL to N15; `ambivox simulate modeln`
serves a device to try it on. Exit code 0 when the device was read, 1 when it was not.
"""

import sys

import ambivox


def main(address="192.168.1.40", model="N15"):
    dev = ambivox.Dispatch("AmbivoxSDK.AmbivoxModelN")
    dev.IpAddress = address
    dev.Model = model
    try:
        dev.Poll()
    except ambivox.ComError as e:
        print(f"poll.py: {e}", file=sys.stderr)
        return 1
    for probe in dev.Probes:
        point = probe.MostRecentDataPoint
        print(probe.Number, probe.Name, point.Value, point.Unit, point.Time)
    print(dev.Probes(1).Name, dev.Probes["Inlet"].Name)
    return 0


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:3]))
