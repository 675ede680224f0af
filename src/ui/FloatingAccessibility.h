#pragma once

namespace kelvo::ui {

// Gives the controls floating over the video their roles, names and values
// for the screen reader: the about box's text, the gain slider's volume, the
// recording mark as a picture, and a meter that keeps out of the reader's
// way. Installing again changes nothing.
void installFloatingAccessibility();

} // namespace kelvo::ui
