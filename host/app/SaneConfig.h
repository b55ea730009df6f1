// The SANE configuration of the application: the development backends (the test scanner and
// the pnm reader of the built-in scene) and every backend the system's own configuration names,
// so that real scanners are listed next to the built-in ones.
#pragma once

#include <string>

// Writes the configuration folder under the user's cache and returns the search path for
// SANE_CONFIG_DIR: that folder first (its dll.conf and test.conf), then the system's folder for
// every other backend's file. strProjectFolder holds the project's dll.conf and test.conf.
std::string PrepareSaneConfig(const std::string& strProjectFolder);
