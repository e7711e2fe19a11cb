#pragma once
// Pictures of the whole screen (the Xvfb display) as PNG files.
#include <string>

namespace qm::pagehost {

// Sets the folder shots go to; without one, shots are skipped.
void SetShotFolder(const std::wstring& folder);
// Saves the screen as FOLDER\name.png and records it; false when it could not be written. Safe from any thread.
bool TakeShot(const std::wstring& name);

}  // namespace qm::pagehost
