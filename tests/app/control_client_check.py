"""Drives examples/control.py against the control server of the app tests.

Arguments: the folder of control.py, the socket path. The test's handler answers
"start" with a "state" event and, after "quit", sends a "message" event and closes.
"""

import sys

sys.path.insert(0, sys.argv[1])
from control import ControlClient, ControlError  # noqa: E402

with ControlClient.wait_for(sys.argv[2], timeout=10) as fc:
    reply = fc.call("status")
    assert reply["ok"] is True and reply["state"] == "stopped", reply
    fc.call("jump", row=3)
    fc.call("set", section="Output", key="OutFreq", value=5)
    fc.call("track", rows=[["35 40 49.448", "139 46 8.793", "3", "30"]])
    try:
        fc.call("jump", row=0)
        raise AssertionError("a bad row raised nothing")
    except ControlError as e:
        assert "1 or more" in str(e) and e.reply["ok"] is False, e.reply
    reply = fc.send("fly")
    assert reply["ok"] is False and "unknown command" in reply["error"], reply

    fc.call("subscribe")
    fc.call("start")  # its event came before the reply and was kept
    event = fc.next_event(timeout=10)
    assert event == {"event": "state", "state": "travelling"}, event
    assert fc.next_event(timeout=0.05) is None

    fc.call("quit")
    events = list(fc.events(timeout=10))  # ends when the program closes the socket
    assert events == [{"event": "message", "text": "bye"}], events
print("control.py: all good")
