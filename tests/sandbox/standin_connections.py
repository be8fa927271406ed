"""What the stand-in knows about connections: which one a request came on, and a fault that
drops a kept-alive connection once it has carried a request.

Every logged request gets "conn" (a number per TCP or TLS connection, counted from 1 over the
stand-in's life) and "conn_request" (1 for the first request on that connection, 2 for the
next, ...), so a test can count the connections a client opened.

Fault action "drop_reused": a request that is not the first on its connection is read and then
the connection is closed without an answer ("reset": true sends a TCP reset instead of a clean
close). The first request of a connection is answered normally, so a client that retries on a
new connection gets through. Give the rule no count: it is spent by every request it matches.
"""

import itertools
import threading

import standin_state
from standin_service import Answer

ACTIONS = {"drop_reused"}
standin_state.FAULT_ACTIONS.update(ACTIONS)

_ids = itertools.count(1)
_lock = threading.Lock()


def note(handler, entry):
    """Counts the request on its connection and stamps the log entry (None: not logged)."""
    if getattr(handler, "conn_id", None) is None:
        with _lock:
            handler.conn_id = next(_ids)
        handler.conn_requests = 0
    handler.conn_requests += 1
    handler.conn_entry = entry
    if entry is not None:
        entry["conn"] = handler.conn_id
        entry["conn_request"] = handler.conn_requests


def faulted_answer(handler, req, rule):
    """The answer for a rule whose action is one of ACTIONS."""
    if handler.conn_requests <= 1:
        if handler.conn_entry is not None:
            handler.conn_entry["fault"] = None
        return handler.server.service.handle(req)
    if rule.get("reset"):
        handler.hard_reset()
    return Answer(mode={"kind": "refuse"})
