// A script's string table. No section of the patcher handles text; the layer
// keeps its place in the chain and is emptied on open.
#pragma once

#include <map>
#include <string>

#include "vexil_description.h"

class CVexilStrings : public CVexilDescription {
public:
    void ClearStrings() { Strings.clear(); }

    std::map<int, std::string> Strings;

protected:
    CVexilStrings() = default;
    ~CVexilStrings() = default;
};
