// The host model as JSON, version 1 of the "qmhost-model" format that other
// tools read:
//
// {"format": "qmhost-model", "version": 1, "totalFrames": 0,
//  "meshes": [{"name", "material", "vertices": [{"position", "texCoords",
//              "boneIndex"}], "normals": [[x, y, z]],
//              "triangles": [{"vertices": [a, b, c], "normals": [a, b, c]}]}],
//  "materials": [{"name", "ambient", "diffuse", "specular", "emissive",
//                 "shininess", "transparency"}]}
//
// Lists are in the model's index order. Floats are written in the fewest
// digits that read back as the same float32, always with a fraction or an
// exponent (-0 is -0.0); NaN and the infinities are the strings "nan", "inf"
// and "-inf". Names are 8-bit strings: each byte is written as the code point
// of the same value (ASCII unchanged), so names read back byte for byte.
#ifndef QM_EXPORT_MODELJSON_H
#define QM_EXPORT_MODELJSON_H

#include <iosfwd>
#include <string>

#include "qmModelLib.h"

void WriteModelJson(qmModel* model, std::ostream& out);
std::string ModelJson(qmModel* model);

#endif  // QM_EXPORT_MODELJSON_H
