#pragma once

// Lets pending events run inside a handler (a timer tick may come in here), as the bit
// handlers do, but never the user's queued input: a key or click already made keeps its
// place after the handler, and while a mouse button is down (a click whose press is
// being handled, its release maybe queued behind it) nothing runs at all.
void letPendingEventsRun();
