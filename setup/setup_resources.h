// The setup program's built-in pictures (generated at build time): the four
// track-bar thumbs and the title picture.
#pragma once

// Registers them as program resources by name: "THUMB_HORZ",
// "THUMB_HORZ_INVERT", "THUMB_VERT", "THUMB_VERT_INVERT" (4-bit BMP files)
// and "TITLE_JPEG" (JPEG data).
void RegisterSetupResources();
