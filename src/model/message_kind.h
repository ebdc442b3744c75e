#pragma once
// The kinds of message a stage can show, apart from the port that shows them:
// the metadata readers name an icon without knowing about any window.

namespace ravlen {

enum class MsgIcon { None, Information, Exclamation, Question, Critical };
enum class MsgButtons { OK, YesNo };
enum class MsgAnswer { OK, Yes, No };

}  // namespace ravlen
