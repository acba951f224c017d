// Every way a FILM file departs from the standard layout that the games' loaders accept and
// that a careful writer produces: the standard header, descriptor and table; even chunk
// lengths; table entries in file order, back to back, none overlapping; the games' clock
// (base 600, a whole number of ticks a frame); one strip count throughout; no empty full
// codebook; sound chunks each before the picture they go with and not far ahead of it.
// Each departure is one line of text; a file that cannot be read at all is one line too.
#pragma once

#include <string>
#include <vector>

namespace lunavue {

std::vector<std::string> CheckLayout(const std::string& path);

}  // namespace lunavue
