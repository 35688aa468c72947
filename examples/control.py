#!/usr/bin/env python3
"""A small client of Fixcaster's control socket (see docs/control.md).

As a module (Python 3 standard library only)::

    from control import ControlClient, ControlError

    with ControlClient("/run/user/1000/fixcaster.sock") as fc:
        print(fc.call("status")["state"])
        fc.call("set", section="Output", key="OutFreq", value=5)
        fc.call("subscribe")
        fc.call("start")
        for event in fc.events(timeout=10):
            print(event)

A pytest fixture::

    @pytest.fixture
    def fixcaster(tmp_path):
        path = tmp_path / "ctl.sock"
        proc = subprocess.Popen(["fixcaster-cli", "--control", str(path), "run.ini"])
        client = ControlClient.wait_for(path, timeout=10)
        yield client
        client.call("quit")
        client.close()
        proc.wait(timeout=10)

From the shell::

    control.py SOCKET status
    control.py SOCKET jump row=3
    control.py SOCKET set section=Output key=OutFreq value=5
    control.py SOCKET subscribe          # then prints the events as they come
"""

import collections
import json
import socket
import sys
import time


class ControlError(Exception):
    """A request the program answered with {"ok": false, "error": ...}."""

    def __init__(self, reply):
        super().__init__(reply.get("error", "request failed"))
        self.reply = reply


class ControlClient:
    """One connection to the control socket.

    Replies and event lines share the connection; events that arrive while a reply
    is awaited are kept for events() in the order they came.
    """

    def __init__(self, path, timeout=10.0):
        self._sock = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        self._sock.settimeout(timeout)
        self._sock.connect(str(path))
        self._timeout = timeout
        self._buffer = b""
        self._events = collections.deque()
        self._next_id = 1

    @classmethod
    def wait_for(cls, path, timeout=10.0):
        """Connects once the program has made the socket (it may still be starting)."""
        deadline = time.monotonic() + timeout
        while True:
            try:
                return cls(path, timeout)
            except (FileNotFoundError, ConnectionRefusedError):
                if time.monotonic() >= deadline:
                    raise
                time.sleep(0.05)

    def close(self):
        self._sock.close()

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()

    def send(self, cmd, **args):
        """Sends one request and returns its reply as a dict, whatever "ok" says."""
        request_id = self._next_id
        self._next_id += 1
        request = dict(args, cmd=cmd, id=request_id)
        self._sock.sendall(json.dumps(request).encode() + b"\n")
        while True:
            message = self._read_message(self._timeout)
            if message is None:
                raise TimeoutError("no reply to %r within %s s" % (cmd, self._timeout))
            if "event" in message:
                self._events.append(message)
            elif message.get("id", request_id) == request_id:
                return message  # (a reply without "id" answers a request it could not read)

    def call(self, cmd, **args):
        """Like send(), but raises ControlError for a failed request."""
        reply = self.send(cmd, **args)
        if not reply.get("ok"):
            raise ControlError(reply)
        return reply

    def next_event(self, timeout=None):
        """The next event (after a "subscribe"), or None when none came in time.

        Raises ConnectionError when the program has closed the connection.
        """
        if self._events:
            return self._events.popleft()
        while True:
            message = self._read_message(self._timeout if timeout is None else timeout)
            if message is None or "event" in message:
                return message

    def events(self, timeout=None):
        """Iterates over events until none comes within `timeout` seconds or the
        program closes the connection."""
        while True:
            try:
                event = self.next_event(timeout)
            except ConnectionError:
                return
            if event is None:
                return
            yield event

    def _read_message(self, timeout):
        """The next line as a dict; None when none came within `timeout` seconds."""
        deadline = time.monotonic() + timeout
        while b"\n" not in self._buffer:
            left = deadline - time.monotonic()
            if left <= 0:
                return None
            self._sock.settimeout(left)
            try:
                data = self._sock.recv(65536)
            except socket.timeout:
                return None
            finally:
                self._sock.settimeout(self._timeout)
            if not data:
                raise ConnectionError("the program closed the control connection")
            self._buffer += data
        line, self._buffer = self._buffer.split(b"\n", 1)
        return json.loads(line)


def _argument(text):
    name, _, value = text.partition("=")
    try:
        return name, json.loads(value)
    except ValueError:
        return name, value


def main(argv):
    if len(argv) < 3:
        print("usage: control.py SOCKET COMMAND [NAME=VALUE ...]", file=sys.stderr)
        return 2
    path, cmd = argv[1], argv[2]
    args = dict(_argument(a) for a in argv[3:])
    with ControlClient(path) as client:
        reply = client.send(cmd, **args)
        print(json.dumps(reply))
        if cmd == "subscribe" and reply.get("ok"):
            try:
                for event in client.events(timeout=365 * 86400):
                    print(json.dumps(event), flush=True)
            except KeyboardInterrupt:
                pass
    return 0 if reply.get("ok") else 1


if __name__ == "__main__":
    sys.exit(main(sys.argv))
