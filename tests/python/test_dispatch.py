"""The ambivox package driving the SDK's classes by name, against the simulators."""

import datetime
import os
import subprocess
import sys
import threading
import time

import pytest

import ambivox

EXAMPLE = os.path.join(os.path.dirname(__file__), "..", "..", "examples", "poll.py")


def run_python(*args, timeout=60):
    return subprocess.run([sys.executable, *args], capture_output=True, text=True,
                          timeout=timeout)


def test_example_polls_the_simulated_device(model_n):
    run = run_python(EXAMPLE, model_n, "N15")
    assert run.returncode == 0, run.stderr
    lines = run.stdout.splitlines()
    assert len(lines) == 7
    assert lines[0].startswith("1 Inlet 68.0 F 20")
    assert lines[5].startswith("6 Rack 4 74.5 F ")
    assert lines[6] == "Inlet Inlet"


@pytest.mark.parametrize("value, expected_type", [
    ("text", str),
    ("°C and 🌡 beyond the BMP", str),
    ("", str),
    (-2**31, int),            # VT_I4's ends
    (2**31 - 1, int),
    (2**31, int),             # VT_I8 from here
    (-2**63, int),
    (2.5, float),
    (True, bool),
    (False, bool),
    (None, type(None)),
    (datetime.datetime(2026, 12, 8, 15, 30, 12), datetime.datetime),
    (datetime.datetime(1899, 12, 29, 6, 0, 0), datetime.datetime),  # a negative date
])
def test_values_round_trip(value, expected_type):
    point = ambivox.Dispatch("AmbivoxSDK.DataPoint")
    point.Value = value
    assert type(point.Value) is expected_type
    assert point.Value == value


def test_typed_members_and_objects_convert():
    point = ambivox.Dispatch("AmbivoxSDK.DataPoint")
    point.UTCTime = 2**33                                         # hyper beyond 32 bits
    assert point.UTCTime == 2**33
    assert point.Time == datetime.datetime.fromtimestamp(2**33)   # DATE in local time
    probe = ambivox.Dispatch("AmbivoxSDK.Probe")
    probe.Number = 7                                              # short
    probe.Poll(point)                                             # an object as an argument
    assert probe.Number == 7
    assert probe.MostRecentDataPoint == point                     # the same object comes back
    assert probe.MostRecentDataPoint.UTCTime == 2**33


@pytest.mark.parametrize("value, error", [
    ([1], TypeError), ({}, TypeError), (object(), TypeError), (b"bytes", TypeError),
    (2**70, OverflowError),
])
def test_values_without_a_variant_are_refused(value, error):
    point = ambivox.Dispatch("AmbivoxSDK.DataPoint")
    with pytest.raises(error):
        point.Value = value


def test_failures_say_what_went_wrong():
    device = ambivox.Dispatch("AmbivoxSDK.AmbivoxModelN")
    device.IpAddress = "127.0.0.1:1"
    with pytest.raises(ambivox.ComError) as failed:
        device.Poll()
    error = failed.value
    assert isinstance(error, OSError)
    assert error.hresult == 0x80004005 and error.name == "E_FAIL"
    assert "connection refused" in error.description          # the device's own cause
    assert str(error).startswith("IAmbivoxModelN.Poll failed: 0x80004005 E_FAIL: http://")

    with pytest.raises(ambivox.ComError) as failed:
        ambivox.Dispatch("AmbivoxSDK.NoSuchClass")
    assert failed.value.name == "CO_E_CLASSSTRING"
    with pytest.raises(ambivox.ComError) as failed:
        device.Probes["no such probe"]
    assert failed.value.name == "E_INVALIDARG"
    with pytest.raises(AttributeError, match="'IAmbivoxModelN' object has no attribute 'Pol'"):
        device.Pol()
    with pytest.raises(AttributeError, match=r"no attribute 'Poll\\x00'"):
        getattr(device, "Poll\0")
    with pytest.raises(ValueError, match="NUL"):
        ambivox.Dispatch("AmbivoxSDK.DataPoint\0junk")     # not the class named before the NUL
    with pytest.raises(AttributeError, match="read-only"):
        device.SerialNumber = "forged"
    with pytest.raises(AttributeError):
        device.Extra = 1                       # no Python attributes on a component object


def test_objects_stay_on_their_thread():
    point = ambivox.Dispatch("AmbivoxSDK.DataPoint")
    errors = []
    elsewhere = threading.Thread(target=lambda: errors.append(_error_of(lambda: point.Value)))
    elsewhere.start()
    elsewhere.join()
    assert errors[0].name == "RPC_E_WRONG_THREAD"


def _error_of(action):
    try:
        action()
    except ambivox.ComError as error:
        return error


@pytest.mark.parametrize("call, error", [
    (lambda c: c.Item(), "missing required argument 'Index'"),
    (lambda c: c.Item(1, 2), "takes 1 argument"),
    (lambda c: c.Item(Nope=1), "unexpected keyword argument 'Nope'"),
    (lambda c: c.Item(1, index=1), "multiple values for argument 'index'"),
    (lambda c: c.Item(**{"Index\0x": 1}), r"unexpected keyword argument 'Index\\x00x'"),
])
def test_arguments_that_match_no_parameter_are_refused(call, error):
    with pytest.raises(TypeError, match=error):
        call(ambivox.Dispatch("AmbivoxSDK.ProbeCollection"))


def test_collections_work_as_python_containers(model_n):
    device = ambivox.Dispatch("AmbivoxSDK.AmbivoxModelN")
    device.ipaddress = model_n                              # names ignore case
    device.Poll()
    probes = device.Probes
    assert len(probes) == 6
    assert [p.Name for p in probes][:2] == ["Inlet", "Outlet"]
    assert probes(2).Name == probes["Outlet"].Name == "Outlet"
    assert probes[1] == probes.Item(1)
    assert probes.Item(Index=2).Name == "Outlet"            # named, by the parameter's name
    assert probes.ItemByNumber(index=3).Name == "Rack 1"    # parameter names ignore case too
    assert device.Probe(probeId=4).Name == "Rack 2"         # a property that takes an argument
    empty = ambivox.Dispatch("AmbivoxSDK.ProbeCollection")
    assert len(empty) == 0 and list(empty) == []
    with pytest.raises(TypeError):
        iter(device)
    with pytest.raises(TypeError):
        len(device)


def test_members_and_help_come_from_the_type_information():
    device = ambivox.Dispatch("AmbivoxSDK.AmbivoxModelN")
    assert {"IpAddress", "Poll", "Probes", "SerialNumber"} <= set(dir(device))
    assert device.Poll.__doc__ == "method Poll"
    assert device.Probe.__doc__ == "property Probe\n\nParameters: probeId"
    run = run_python("-c", "import ambivox; help(ambivox.Dispatch('AmbivoxSDK.AmbivoxModelN').Poll)")
    assert "method Poll" in run.stdout, run.stderr


LEAK_CHECK = """
import gc, threading, sys, time, ambivox

def loaded():
    with open("/proc/self/maps") as maps:
        return "AmbivoxSDK.so" in maps.read()

for _ in range(50):
    device = ambivox.Dispatch("AmbivoxSDK.AmbivoxModelN")
    device.IpAddress = sys.argv[1]
    device.Poll()
    names = [probe.MostRecentDataPoint.Unit for probe in device.Probes]
kept = ambivox.Dispatch("AmbivoxSDK.DataPoint")
dropped_elsewhere = [ambivox.Dispatch("AmbivoxSDK.Probe")]
def work():
    made_here = ambivox.Dispatch("AmbivoxSDK.Probe")
    made_here.Poll(ambivox.Dispatch("AmbivoxSDK.DataPoint"))
    dropped_elsewhere.clear()            # the main thread's object, released on its behalf
thread = threading.Thread(target=work)
thread.start()
thread.join()
print(ambivox.live_objects(), loaded())
del device, names, kept
gc.collect()
# The worker's apartment, and its hold on the module, ends when its thread does: a little after
# join() returns, as the thread's last act.
deadline = time.monotonic() + 10
ambivox.free_unused_libraries()
while loaded() and time.monotonic() < deadline:
    time.sleep(0.01)
    ambivox.free_unused_libraries()
print(ambivox.live_objects(), loaded())
"""


def test_nothing_outlives_the_script(model_n):
    run = run_python("-c", LEAK_CHECK, model_n)
    assert run.returncode == 0, run.stderr
    assert run.stdout.splitlines() == ["2 True", "0 False"]


@pytest.mark.slow
def test_model_q_polls_on_two_threads_overlap(simulate):
    ports = [simulate("modelq").target.removeprefix("COM") for _ in range(2)]
    polls = {}

    def poll(port):
        device = ambivox.Dispatch("AmbivoxSDK.AmbivoxModelQ")
        device.ComPort = port
        started = time.monotonic()
        device.Poll()
        polls[port] = (started, time.monotonic(), device.Probes(1).MostRecentDataPoint.Value)

    threads = [threading.Thread(target=poll, args=(port,)) for port in ports]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join(timeout=30)
    assert sorted(polls) == sorted(ports)
    assert [value for _, _, value in polls.values()] == [71.6, 71.6]
    starts, ends = zip(*[(start, end) for start, end, _ in polls.values()])
    assert max(starts) < min(ends)       # each ran while the other was still polling
