#pragma once
// The headless backend's controls for tests: what the backend was asked to do, in order,
// and a way to raise input and run the event loop without a display.
//
// Log entries (one string each):
//   "sound.play NAME", "sound.loop NAME", "sound.stop NAME"   NAME: the file name
//   "web.load URL"
//   "window.show TITLE", "window.hide TITLE", "window.move TITLE TOP LEFT"
//   "menu.append PARENT TEXT", "menu.remove PARENT INDEX", "menu.change NAME-OR-TEXT"
// where PARENT is the parent item's name, or its text when it has no name.

#include <cstdint>
#include <string>
#include <vector>

#include "platform/controls.h"
#include "platform/input.h"
#include "platform/menu.h"
#include "platform/window.h"

namespace platform::headless {

const std::vector<std::string>& Log();
void ClearLog();
// Log entries that begin with a prefix, in order ("sound.", "web.load").
std::vector<std::string> LogWith(const std::string& prefix);

// Runs the event loop until nothing is pending: queued Open events, thread runs, timers
// that are due. Returns the number of dispatches. Gives up after `limit` dispatches so a
// runaway loop fails the test instead of hanging it.
int RunUntilIdle(int limit = 10'000'000);

// Input, delivered the way the GTK backend delivers it.
void PressKey(Window& window, const String& key);
void Wheel(Window& window, Int32 deltaY, Int32 deltaX = 0, Int32 x = 0, Int32 y = 0);
void Click(Canvas& canvas, Int32 x = 1, Int32 y = 1);
// A press of a mouse button at x, y of the window's content, at a time in milliseconds, as
// a window system reports it: the same press delivered twice is taken once, and goes to the
// canvas there.
void PressButton(Window& window, Int32 x, Int32 y, std::uint32_t time, unsigned button = 1);
// A key press as a window system reports it: a menu shortcut, or KeyDown with its text.
// Answers whether the press was taken.
bool PressKey(Window& window, const input::KeyPress& press);
// Brings the menus up to date, then chooses the item.
void ChooseMenu(MenuItem& item);
void CloseWindow(Window& window);

// Makes the next OpenAsPicture / OpenAsSound of a file fail (as an undecodable file would)
// while set. Cleared by ClearFaults().
void FailToDecode(const std::string& fileName);
void ClearFaults();

}  // namespace platform::headless
