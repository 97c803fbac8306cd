#pragma once
// The reassign mode prompt's choice, without a window. The section action
// the prompt interrupted waits in cPrefLastUserInfo; once a mode is stored
// and the prompt has closed, the browser goes on with it. GUI thread.

namespace sorrelby {

// The prompt's buttons carry the mode they stand for (200 manual, 202 auto
// from the card photos). Stores the mode and, 0.1 s later, posts
// "myCustomId" with cPrefLastUserInfo (nothing when that is missing).
// Any other tag only beeps: false, the prompt stays.
bool chooseReassignMode(int tag);

} // namespace sorrelby
