#pragma once
// What the desktop offers the program: descriptions of file types, opening a
// document or a link in the user's chosen application, and where the program
// itself lives. Plain strings here; Qt stays inside the implementation.

#include <string>

namespace ravlen {

// The desktop's description of a file's type from its name alone ("JPEG image"
// for a .jpg); the file's content is never read. A plain "JPG file" (or "File"
// for a name without extension) when the desktop knows no such type.
std::string MimeTypeDescription(const std::string& path);

// Opens a local document, a web address or a mail link with the desktop's
// handler. False, with the reason in `error`, when it cannot.
bool OpenWithDesktop(const std::string& target, std::string& error);
// The window's desktop session, which opens a fully encoded address itself;
// the terminal program has none (and need not load the window's libraries),
// so the desktop's own opener is started for it.
void SetSessionOpener(bool (*open)(const std::string& url));

// The folder that holds the running program, and the program file's name
// without extension.
std::string ProgramFolder();
std::string ProgramFileName();

}  // namespace ravlen
