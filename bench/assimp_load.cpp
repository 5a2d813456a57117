// assimp_load FILE: loads FILE with Assimp as a program that reads models
// would (Importer::ReadFile, no post-processing), prints its meshes, vertices
// and faces, and exits: the competitor of a cold `qmhost import`.
#include <cstdio>

#include <assimp/Importer.hpp>
#include <assimp/scene.h>

int main(int argc, char** argv) {
  if (argc != 2 || argv[1][0] == '-') {
    std::fprintf(stderr, "usage: assimp_load FILE\n");
    return 2;
  }
  Assimp::Importer importer;
  const aiScene* scene = importer.ReadFile(argv[1], 0);
  if (scene == nullptr) {
    std::fprintf(stderr, "assimp_load: %s: %s\n", argv[1], importer.GetErrorString());
    return 1;
  }
  unsigned long vertices = 0, faces = 0;
  for (unsigned m = 0; m < scene->mNumMeshes; ++m) {
    vertices += scene->mMeshes[m]->mNumVertices;
    faces += scene->mMeshes[m]->mNumFaces;
  }
  std::printf("%u meshes, %lu vertices, %lu faces\n", scene->mNumMeshes, vertices, faces);
  return 0;
}
