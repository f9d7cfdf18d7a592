"""Runs the ambivox package against the simulators, with a registry store of the tests' own.

ctest names the ambivox program (AMBIVOX_PROGRAM) and puts the built package on PYTHONPATH.
"""

import os
import re
import selectors
import signal
import subprocess
import tempfile
import time

import pytest

AMBIVOX = os.environ["AMBIVOX_PROGRAM"]
_store = tempfile.TemporaryDirectory(prefix="ambivox-python-")
# Before anything reads the registry: the runtime takes the store from the environment.
os.environ["AMBIVOX_REGISTRY"] = os.path.join(_store.name, "registry.db")


def pytest_configure(config):
    config.addinivalue_line("markers", "slow: waits on the clock (Model Q polls take seconds)")


@pytest.fixture(scope="session", autouse=True)
def registered():
    subprocess.run([AMBIVOX, "register"], check=True, capture_output=True, timeout=60)


class Simulator:
    """`ambivox simulate ...` running until the test ends; target is what it says to poll."""

    def __init__(self, *args):
        self.process = subprocess.Popen(
            [AMBIVOX, "simulate", *args],
            stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        out = self._read_until("Press Ctrl-C to stop.", deadline=time.monotonic() + 20)
        found = re.search(r"poll: ambivox poll \S+ (\S+)", out)
        if not found:
            self.stop()
            raise RuntimeError("the simulator said: " + out)
        self.target = found.group(1)

    def _read_until(self, text, deadline):
        out = b""
        with selectors.DefaultSelector() as waiting:
            waiting.register(self.process.stdout, selectors.EVENT_READ)
            while text.encode() not in out and time.monotonic() < deadline:
                if waiting.select(timeout=deadline - time.monotonic()):
                    chunk = os.read(self.process.stdout.fileno(), 4096)
                    if not chunk:
                        break
                    out += chunk
        return out.decode()

    def stop(self):
        self.process.send_signal(signal.SIGINT)
        try:
            self.process.wait(timeout=10)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()


@pytest.fixture
def simulate():
    started = []

    def start(*args):
        started.append(Simulator(*args))
        return started[-1]

    yield start
    for simulator in started:
        simulator.stop()


@pytest.fixture
def model_n(simulate):
    return simulate("modeln", "--model", "N15", "--steady").target
