// The wait for one key at the end of a run.
//
// The key comes from the controlling terminal (/dev/tty), not from standard
// input, so replies redirected from a file do not end the wait; it is read
// without echo and without Enter, and text typed before the wait is discarded.
// The terminal's settings are restored afterwards, also when the program is
// interrupted during the wait. With no terminal there is nothing to wait for.
#pragma once

namespace qv {

// True when a controlling terminal can be opened.
bool terminal_available();

// Waits for one key; returns at once when there is no terminal.
void wait_for_key();

}  // namespace qv
