#pragma once

#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/ProcessRunner.h"

// A finished command: its exit status and everything it wrote to standard output and
// standard error, interleaved.
using CommandResult = ProcessResult;

// Runs a program found on PATH with the arguments given, its standard input empty.
CommandResult RunCommand(const std::vector<std::string>& arguments);

// Runs a shell command line, for the few checks that need a pipe or a redirection.
CommandResult RunShell(const std::string& commandLine);

// The regular files under root, as paths relative to it.
std::set<std::string> FilesUnder(const std::filesystem::path& root);

// The files an install puts under its prefix, as paths relative to the prefix.
std::set<std::string> ExpectedInstalledFiles();

// The installed programs, relative to the prefix: the two commands and the reader program
// they start.
const std::vector<std::string>& InstalledPrograms();
bool IsInstalledProgram(const std::string& relative);

// One size of the icon theme: the 16 or 32 pixel picture of the XPM icon as it is, or
// (picture 0) a rendering of the scalable drawing.
struct IconSize {
    int size;
    int picture;
};
const std::vector<IconSize>& IconSizes();
std::string IconPath(int size); // relative to the prefix
std::string ScalableIconPath(); // relative to the prefix

// The field of the newest entry of the package changelog in the source tree, as
// dpkg-parsechangelog gives it.
std::string ChangelogField(const std::string& field);

// The checks the install tree and the package share.
testing::AssertionResult IsGzipBestWithoutNameOrTime(const std::filesystem::path& path);
// The PNG is the design pixel for pixel, or a smooth rendering of the drawing at its size.
testing::AssertionResult IsThemeIcon(const std::filesystem::path& png, const IconSize& size);
