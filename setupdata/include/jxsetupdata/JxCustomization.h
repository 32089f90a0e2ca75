// The customization of a setup, read from "customize.xml": properties, localized texts, files,
// registry values, programs to run and optional extra setups. Every text holds its attribute as
// written in the file; it is interpreted (and checked) where it is used.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "jxplat/text.h"

namespace JxSetup::Data {

struct JxCustomProperty {
    std::u16string name;
    std::u16string value;
    std::u16string localizable;
};

struct JxCustomString {
    std::u16string name;
    std::u16string language;
    std::u16string value;
};

struct JxCustomFile {
    std::u16string name;
    std::u16string resource;
    std::u16string destination;
    std::u16string usetemporary;
};

struct JxCustomRegKey {
    std::u16string root;
    std::u16string key;
    std::u16string valuename;
    std::u16string value;
    std::u16string type;
    std::u16string platform;
};

struct JxCustomApp {
    std::u16string app;
    std::u16string arg;
    std::u16string hide;
    std::u16string wait;
    std::u16string timeout;
    std::u16string platform;
};

// Option names compare without regard to case.
struct JxNoCaseLess {
    bool operator()(const std::u16string& a, const std::u16string& b) const {
        return jxtext::CompareNoCase(a, b) < 0;
    }
};

struct JxCustomSetup {
    std::u16string app;
    std::u16string arg;
    std::u16string name;
    std::u16string description;
    std::u16string details;
    std::u16string icon;
    std::u16string hover;
    std::u16string options;
    std::u16string condition;
    bool selected = false;
    std::map<std::u16string, std::u16string, JxNoCaseLess> optionMap;
};

struct JxCustomizationData {
    bool fromPackages = true;
    std::vector<JxCustomProperty> properties;
    std::vector<JxCustomString> strings;
    std::vector<JxCustomFile> files;
    std::vector<JxCustomRegKey> registry;
    std::vector<JxCustomApp> applications;
    std::vector<JxCustomSetup> setups;
};

// The option map of an extra setup's "options" text: "name=value" pairs separated by ";", single
// quotes around text that holds blanks, ";" or "="; the first of names equal without regard to
// case wins.
std::map<std::u16string, std::u16string, JxNoCaseLess> ParseCustomSetupOptions(const std::u16string& text);

} // namespace JxSetup::Data
