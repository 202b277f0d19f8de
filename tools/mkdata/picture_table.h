// Every picture of the ten picture archives: which archive holds it, its
// pattern size, how many frames the game animates over, and what is drawn.
// The game looks pictures up by these names; the archive test resolves each
// name the game uses against the written archives.
#pragma once

#include <string>
#include <vector>

// What a picture shows. The painter turns each kind into simple shapes.
enum TPictureKind {
  pkBackdrop,  // full screen, opaque: title and text lines
  pkTile,      // opaque scrolling background tile
  pkStars,     // transparent star field tile
  pkLayer,     // transparent scenery layer tile (drifting debris)
  pkButton,    // framed button with its caption
  pkPanel,     // framed panel with a caption
  pkDoor,      // door leaf between levels
  pkCaption,   // a line of text without a frame
  pkDigits,    // frame n shows digit n (frame 10 blank)
  pkNumbers,   // frame n shows the number n + 1
  pkShip,      // the player's ship, frames bank from level to full
  pkEnemy,     // an enemy craft, animated
  pkBoss,      // a boss body
  pkBossPart,  // a boss part (weapon, creator, generator)
  pkHitBox,    // solid block for pixel collision tests
  pkMount,     // gun mount or launcher, animated
  pkShot,      // a projectile
  pkBlast,     // expanding explosion
  pkMesh,      // explosion overlay ring
  pkPuff,      // smoke / muzzle flash / glow that fades
  pkFlame,     // engine flame / ship fire
  pkBonus,     // bonus capsule with its letter
  pkSplinter,  // small debris
  pkAsteroid,  // rotating rock
  pkFace,      // pilot's face (idle, speaking, hit)
  pkBar,       // vertical or horizontal bar
  pkCursor,    // mouse cursor
  pkIcon,      // small labelled icon
  pkOverlay,   // see-through screen overlay
  pkElement,   // volume element box
};

struct TPictureSpec {
  std::string Archive;  // file name under data/graphic, for example "models.dan"
  std::string Name;
  int Width = 0;  // one pattern
  int Height = 0;
  int Frames = 1;  // patterns side by side in one strip
  TPictureKind Kind = pkIcon;
  std::string Caption;  // text drawn on it, where the kind shows text
  int Hue = 0;          // colour choice, 0..11 around the colour wheel
  int Variant = 0;      // shape choice within the kind (lit button, ship form, ...)
  bool Transparent = true;
};

// The ten archives in the order the game loads them into its image lists.
const std::vector<std::string>& ArchiveNames();

// Every picture, grouped by archive, in archive order.
const std::vector<TPictureSpec>& PictureTable();
