// The layers an editor would draw with: fonts, drawing state, mouse state.
// This plug-in has no editor; the layers keep their place in the chain.
#pragma once

#include <map>
#include <string>

#include "vexil_files.h"

class CVexilFonts : public CVexilFiles {
public:
    std::map<int, std::string> Fonts;

protected:
    CVexilFonts() = default;
    ~CVexilFonts() = default;
};

class CVexilGraphics : public CVexilFonts {
public:
    double GfxWidth = 0.0;
    double GfxHeight = 0.0;

protected:
    CVexilGraphics() = default;
    ~CVexilGraphics() = default;
};

class CVexilMouse : public CVexilGraphics {
public:
    double MouseX = 0.0;
    double MouseY = 0.0;
    double MouseButtons = 0.0;

protected:
    CVexilMouse() = default;
    ~CVexilMouse() = default;
};
