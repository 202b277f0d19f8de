// Writes the ten picture archives of the data folder from the picture table.
#pragma once

#include <string>

class TPictureCollection;

// Fills Collection with the pictures of one archive ("models.dan"), drawn
// afresh; the same table gives the same pictures every time.
void BuildPictureArchive(const std::string& Archive, TPictureCollection& Collection);

// Writes DataDir/graphic/<archive> for every archive of the table.
void WritePictureArchives(const std::string& DataDir);
