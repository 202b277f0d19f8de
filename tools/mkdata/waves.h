// The game's two wave archives, synthesized: sound effects in
// "sound/snd.tor" and the pilot's radio voices in "sound/vc.tor".
#pragma once

#include <string>
#include <vector>

class TWave;
class TWaveCollection;

enum TWaveSynth {
  wsZap,      // a falling (or rising) tone: shots
  wsBuzz,     // a pulsing square: the extra weapon
  wsWhoosh,   // swelling noise over a rumble: rockets
  wsBoom,     // low noise with a thump: explosions
  wsBlip,     // one short tone: menu hover, score ticks
  wsTwoTone,  // a short rising pair: menu clicks
  wsNotes,    // a run of notes: bonuses, fanfares
  wsBeeps,    // repeated radio beeps: incoming message
  wsVoice,    // a voice-like radio phrase
};

struct TWaveRecipe {
  const char* Archive;  // "snd" or "vc"
  const char* Name;
  TWaveSynth Synth;
  int Ms;               // length
  double A = 0, B = 0;  // the synth's two parameters (tones in Hz, notes as a
                        // base in semitones above A4 and a step pattern id)
};

// Every wave the game plays, by archive, in archive order.
const std::vector<TWaveRecipe>& WaveTable();

// Fills Wave with the sound of Recipe (the same bytes on every run).
void SynthesizeWave(const TWaveRecipe& Recipe, TWave& Wave);

// Builds the collection of one archive ("snd" or "vc") from the table.
void BuildWaveCollection(const std::string& Archive, TWaveCollection& Collection);

// Writes dataDir/sound/snd.tor and dataDir/sound/vc.tor, making the folder.
void WriteWaveArchives(const std::string& dataDir);
