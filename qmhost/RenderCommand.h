// `qmhost render`: a picture of the model the plug-in builds from a file.
#ifndef QMHOST_RENDERCOMMAND_H
#define QMHOST_RENDERCOMMAND_H

#include <string>

#include "ModelStructure.h"
#include "Rasteriser.h"
#include "qmModelLib.h"

struct RenderOptions {
  std::string file;
  std::string output;        // the PNG to write
  int width = 800;
  int height = 600;
  int level = 0;             // the detail level drawn of each group
  std::string plugin;        // the plug-in module to load
  std::uint64_t memoryLimit = 0;  // the most memory the model may hold; 0: no limit
};

// Parses "WIDTHxHEIGHT", each 1 to kMaxPictureSide; false otherwise.
bool ParsePictureSize(const std::string& text, int& width, int& height);

// From the model and its structure (DescribeStructure): the meshes of detail
// level `level` of each group, in their material's diffuse colour, and the
// markers, whose triangles are drawn as lines (most are degenerate: a point
// or a segment) and their vertices as points. The scene refers to the
// model's meshes and copies none of their data. Sets `levelFound` to whether
// any group has that level.
Scene ModelScene(qmModel* model, const ModelStructure& structure, int level, bool& levelFound);

// Imports the file through the plug-in and saves its picture. Returns 0 for
// a clean file, 1 when the plug-in showed a message (the picture shows what
// it built), the file or picture could not be opened or written, or the
// model is too much to draw (nothing is written), 2 for a usage error: a
// module that can't be loaded or a level no group has.
int RunRenderCommand(const RenderOptions& options);

#endif  // QMHOST_RENDERCOMMAND_H
