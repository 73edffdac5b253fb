#pragma once
// The settings file Qel.ini in the install folder. One value per line in a
// fixed order, read back by position; a missing file, a missing line or a value
// out of range leaves that setting at its default. The line order is listed in
// docs/file-formats.md.
#include <filesystem>

/// Path of the settings file in the install folder.
std::filesystem::path SettingsFilePath();

/// Reads the settings file into gQel (family, capacity, port, baud, station,
/// zoom, value format, match-size flag, dialog folders, recent files, the
/// serial device path of the port). Lines
/// that are missing or out of range keep the value gQel already holds. Returns
/// false when the file does not exist or cannot be read (nothing changes then).
bool ReadSettings(const std::filesystem::path& path = SettingsFilePath());

/// Writes the settings from gQel, through a temporary file and a rename.
/// Returns false when the file cannot be written (the old file stays).
bool WriteSettings(const std::filesystem::path& path = SettingsFilePath());

/// Puts the start-up defaults into gQel's settings fields: family 0, capacity
/// index 0, COM 1, 9600 baud, station 1, version 206, zoom 4, decimal values,
/// no serial device path of its own.
void SetDefaultSettings();
