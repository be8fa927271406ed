#pragma once
// Lets a thread that waits keep its windows responsive.

// Takes and dispatches the messages already queued for the calling thread until the queue is
// empty or the next message is WM_QUIT, which stays queued for the real message loop.
// Never blocks. Returns how many messages were dispatched.
int PumpPendingMessages();
