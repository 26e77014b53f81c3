// SPDX-License-Identifier: MIT
// What the page adds to the viewer, without the browser: the link to a view
// (#steps=N) and the pictures a person chooses. page.cpp wires them to the
// page; the tests build them natively.
#pragma once

#include "texture_rules.h"

#include <cstdint>
#include <string>

// The most orbit steps a link names, as the snapshot tool's --steps takes.
inline constexpr long pageMaxSteps = 100000;

// N of "#steps=N" with N from 0 to pageMaxSteps, or -1 when the fragment is not that.
long parseStepsFragment(const char* hash);

// The step a link names for a camera stopped after `steps` orbit steps: the
// same view within 0..pageMaxSteps, whole turns of the orbit taken off.
long linkSteps(std::uint64_t steps);

// Whether a file of this name may be read as a chosen picture; when not,
// why, as a message naming the file and listing the seven names.
bool mayReadPicture(const std::string& name, std::string* message);

// The file at path, chosen under `name`, read by the viewer's reader with
// these limits (textureReadLimits, as makeTexture reads: what is kept is then
// read again unscaled). Read, it goes to pictureDir/name as a plain TGA of the
// picture as read (so later reads need neither the chosen file nor its
// memory) and the surface's index in scenePictures is returned; refused, -1,
// and message says why, naming the file as the desktop's viewer would.
int takeChosenPicture(const std::string& name, const char* path, const TgaLimits& limits,
                      const std::string& pictureDir, std::string* message);

// A picture the picture reader has read and kept (takeChosenPicture in its
// Worker), at path, put in its place as pictureDir/name without reading it
// again: the surface's index, or -1 and why in message. path goes either way.
int placeKeptPicture(const std::string& name, const char* path, const std::string& pictureDir,
                     std::string* message);
