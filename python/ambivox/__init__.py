"""Drives any registered Ambivox component class by name, as a script client.

    import ambivox
    dev = ambivox.Dispatch("AmbivoxSDK.AmbivoxModelN")
    dev.IpAddress = "192.168.1.40"
    dev.Poll()
    for probe in dev.Probes:
        print(probe.Name, probe.MostRecentDataPoint.Value)

Objects belong to the thread that made them; each thread gets its own share of the component
runtime on first use.
"""


class ComError(OSError):
    """A component object or the runtime failed.

    hresult is the failing code (unsigned, 0x80004005 for E_FAIL), name its symbolic name when
    known, description the cause in words as the object reported it.
    """

    def __init__(self, message, hresult, name, description):
        super().__init__(message)
        self.hresult = hresult
        self.name = name
        self.description = description

    def __str__(self):
        return self.args[0]


from ._ambivox import (  # noqa: E402  (ComError must exist before the extension loads)
    BoundMember,
    ComObject,
    Dispatch,
    free_unused_libraries,
    live_objects,
)

__all__ = [
    "BoundMember",
    "ComError",
    "ComObject",
    "Dispatch",
    "free_unused_libraries",
    "live_objects",
]
