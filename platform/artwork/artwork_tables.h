// The suite's artwork as tables: each picture is a short drawing script (see
// artwork_script.h) that the build turns into a PNG among the Qt resources.
#pragma once

#include <string>
#include <vector>

namespace artwork {

/// One picture: its resource name, its size in pixels and its script.
struct Picture {
    std::string name;
    int width = 0;
    int height = 0;
    std::string script;
};

/// Tool bar buttons, 20 by 20 on a clear ground, named by their command ids.
const std::vector<Picture>& toolBarImages();
/// Command ids whose button shows another command's image: {id, id of the image}.
const std::vector<std::pair<int, int>>& toolBarAliases();

/// The pictures of the draw popup's tool radio buttons; each is made three
/// times on a button face: normal, checked (name + "2") and disabled (name + "3").
/// Their scripts draw in the colour "ink", which each of the three sets.
const std::vector<Picture>& radioPictures();

/// The model wizard's page pictures "BM_WIZARD1" to "BM_WIZARD4".
const std::vector<Picture>& wizardPictures();

/// The icons of the programs' windows ("IC_QNBGE22", "IC_QNEE22", "IC_QNSIM22",
/// "IC_LOG22"), each name drawn at 16, 22 and 32 pixels square on a clear ground.
const std::vector<Picture>& windowIcons();

/// The about box's picture "BM_ABOUTW".
const Picture& aboutPicture();

/// Element symbols of the built-in library, drawn on white without smoothing:
/// the colour form under the resource name, the black-and-white form (every
/// pixel that is not white made black) under the name + "BW". The name is the
/// library name; the resource name is "BM_" and the library name in capitals.
const std::vector<Picture>& elementSymbols();

/// The symbols of bonds and signals in the connection editor's lists, under the
/// resource name "BM_" and the name in capitals, in colour only.
const std::vector<Picture>& connectionSymbols();

} // namespace artwork
