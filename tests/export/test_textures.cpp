// Textures: a material named after a texture file shows its image, found in
// any letter case beside the .msh file or in a texture folder, written as PNG
// inside a .glb or beside a .gltf or .obj; both formats show the same texel at
// the same point; what is missing is said and never fails the save.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <stb_image.h>
#include <stb_image_write.h>
#include <tiny_gltf.h>

#include "Export.h"
#include "HostModel.h"
#include "ImageDecode.h"

namespace {

namespace fs = std::filesystem;

constexpr unsigned char kRed[3] = {255, 0, 0};
constexpr unsigned char kBlue[3] = {0, 0, 255};

// A 4 x 4 picture whose top half is red and bottom half blue, as a TGA file
// (which stores its rows bottom first).
void WriteHalves(const std::string& path) {
  unsigned char pixels[4 * 4 * 3];
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x) std::memcpy(pixels + (y * 4 + x) * 3, y < 2 ? kRed : kBlue, 3);
  ASSERT_NE(stbi_write_tga(path.c_str(), 4, 4, 3, pixels), 0);
}

struct Picture {
  int width = 0, height = 0;
  std::vector<unsigned char> rgb;
  // The colour at row `y` from the top.
  std::vector<unsigned char> At(int x, int y) const {
    const auto* p = rgb.data() + (static_cast<size_t>(y) * width + x) * 3;
    return {p[0], p[1], p[2]};
  }
};

Picture Decode(const unsigned char* bytes, size_t size) {
  Picture picture;
  int channels = 0;
  unsigned char* pixels = stbi_load_from_memory(bytes, static_cast<int>(size), &picture.width,
                                                &picture.height, &channels, 3);
  EXPECT_NE(pixels, nullptr);
  if (pixels != nullptr)
    picture.rgb.assign(pixels, pixels + picture.width * picture.height * 3);
  stbi_image_free(pixels);
  return picture;
}

std::vector<unsigned char> Halves() {
  std::vector<unsigned char> pixels(4 * 4 * 3);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x) std::memcpy(&pixels[(y * 4 + x) * 3], y < 2 ? kRed : kBlue, 3);
  return pixels;
}

void Append(void* context, void* data, int size) {
  auto* out = static_cast<std::vector<unsigned char>*>(context);
  out->insert(out->end(), static_cast<unsigned char*>(data), static_cast<unsigned char*>(data) + size);
}

// TGA, BMP, PNG and JPEG are decoded to the same pixels, top row first;
// other kinds (whose decoders are not built at all), damaged files (a JPEG
// whose Huffman table would overrun stb_image's arrays, a PNG chunk that
// claims a gigabyte, among them) and outsized ones are refused with their
// reason.
TEST(ImageDecode, ReadsTgaBmpPngAndJpegAndRefusesTheRest) {
  const std::vector<unsigned char> halves = Halves();
  std::vector<unsigned char> tga, bmp, png, jpg;
  ASSERT_NE(stbi_write_tga_to_func(Append, &tga, 4, 4, 3, halves.data()), 0);
  ASSERT_NE(stbi_write_bmp_to_func(Append, &bmp, 4, 4, 3, halves.data()), 0);
  ASSERT_NE(stbi_write_png_to_func(Append, &png, 4, 4, 3, halves.data(), 12), 0);
  ASSERT_NE(stbi_write_jpg_to_func(Append, &jpg, 4, 4, 3, halves.data(), 100), 0);
  for (const auto* file : {&tga, &bmp, &png, &jpg}) {
    std::string why;
    const std::vector<unsigned char> out = ImageAsPng(file->data(), file->size(), why);
    ASSERT_TRUE(why.empty()) << why;
    const Picture picture = Decode(out.data(), out.size());
    ASSERT_EQ(picture.width, 4);
    ASSERT_EQ(picture.height, 4);
    if (file != &jpg) {
      EXPECT_EQ(picture.rgb, halves);
      continue;
    }
    // JPEG's blur leaves each half near its colour.
    for (int y : {0, 3})
      for (int c = 0; c < 3; ++c)
        EXPECT_NEAR(picture.At(1, y)[c], (y < 2 ? kRed : kBlue)[c], 64) << "row " << y;
  }

  std::vector<unsigned char> cut(png.begin(), png.begin() + static_cast<long>(png.size() / 2));
  std::vector<unsigned char> wide;
  const std::vector<unsigned char> row(20000 * 3);
  ASSERT_NE(stbi_write_png_to_func(Append, &wide, 20000, 1, 3, row.data(), 20000 * 3), 0);
  std::vector<unsigned char> tall = tga;  // the TGA header's sides, little-endian at byte 12
  tall[12] = 0x00, tall[13] = 0x40, tall[14] = 0x00, tall[15] = 0x40;
  std::vector<unsigned char> greedy = png;  // the IDAT chunk's length, after the IHDR chunk
  greedy[33] = 0x40, greedy[34] = 0, greedy[35] = 0, greedy[36] = 0;
  std::vector<unsigned char> empty = bmp;  // the BMP header's width, little-endian at byte 18
  empty[18] = 0, empty[19] = 0, empty[20] = 0, empty[21] = 0;
  std::vector<unsigned char> huge = jpg;  // the frame header's height and width
  for (std::size_t at = 2; at + 9 < huge.size(); ++at)
    if (huge[at] == 0xFF && (huge[at + 1] == 0xC0 || huge[at + 1] == 0xC2)) {
      huge[at + 5] = 0x40, huge[at + 6] = 0x00, huge[at + 7] = 0x40, huge[at + 8] = 0x00;
      break;
    }
  // A Huffman table (DHT) of more than 256 codes.
  const std::string overrun("\xff\xd8\xff\xc4\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00"
                            "\x04\x91\x69\xd8\xdb\xbe\xe8\x87\x23\x1e\x1e",
                            25);
  const std::string gif = "GIF89a\x04\x00\x04\x00\x80\x00\x00";
  const std::string psd = std::string("8BPS\x00\x01\x00\x00\x00\x00\x00\x00\x00\x03", 14) +
                          std::string(12, '\0');
  const struct {
    std::vector<unsigned char> bytes;
    std::string why;
  } refused[] = {
      {std::vector<unsigned char>(overrun.begin(), overrun.end()), "damaged ("},
      {std::vector<unsigned char>(gif.begin(), gif.end()),
       "not an image of a kind read here: TGA, BMP, PNG or JPEG ("},
      {std::vector<unsigned char>(psd.begin(), psd.end()),
       "not an image of a kind read here: TGA, BMP, PNG or JPEG ("},
      {cut, "damaged ("},
      {greedy, "damaged ("},
      {empty, "0x4 pixels: no picture"},
      {huge, "16384x16384 pixels, more than a file of its size can hold"},
      {wide, "20000x1 pixels, more than 16384 a side"},
      {tall, "16384x16384 pixels, more than a file of its size can hold"},
  };
  for (const auto& each : refused) {
    std::string why;
    EXPECT_TRUE(ImageAsPng(each.bytes.data(), each.bytes.size(), why).empty());
    EXPECT_EQ(why.rfind(each.why, 0), 0u) << each.why << " | " << why;
  }
}

std::string Written(const FileToSave& file) {
  std::ostringstream out;
  EXPECT_TRUE(file.write(out)) << file.path;
  return out.str();
}

class Textures : public ::testing::Test {
 protected:
  void SetUp() override {
    char name[] = "/tmp/qm_textures_XXXXXX";
    ASSERT_NE(::mkdtemp(name), nullptr);
    folder_ = name;
    fs::create_directories(folder_ + "/msh");
    fs::create_directories(folder_ + "/out");
    WriteHalves(folder_ + "/msh/hull.tga");
    settings_.source = folder_ + "/msh/ship.msh";
    settings_.up = UpAxis::Z;

    // A quad whose corners sit at v = 0.25 (top half of the image in the
    // file's sense) and v = 0.75 (bottom half).
    AddMaterial(model_.get(), TestMaterial{"Hull.TGA@boo"});  // the file is hull.tga
    AddMaterial(model_.get(), TestMaterial{"missing.tga"});
    AddMaterial(model_.get(), TestMaterial{"#dock_a#"});  // a marker's: no texture looked for
    TestMesh quad{"L00LD00M00",
                  {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}},
                  {{0, 0, 1}, {0, 0, 1}, {0, 0, 1}, {0, 0, 1}},
                  {{{0, 1, 2}, {0, 1, 2}}, {{0, 2, 3}, {0, 2, 3}}},
                  0,
                  {{0, 0.25f}, {1, 0.25f}, {1, 0.75f}, {0, 0.75f}}};
    AddMesh(model_.get(), quad);
    quad.name = "L00LD00M01";
    quad.material = 1;
    AddMesh(model_.get(), quad);
    AddMesh(model_.get(), TestMesh{"#dock_a#", {{0, 0, 0}}, {}, {}, 2, {}});
  }
  void TearDown() override { fs::remove_all(folder_); }

  std::vector<FileToSave> Files(GltfForm form, const std::string& name, ExportNotes& notes) {
    std::vector<FileToSave> files;
    std::string error;
    EXPECT_TRUE(GltfFiles(model_.get(), settings_, form, folder_ + "/out/" + name, notes, files,
                          error))
        << error;
    return files;
  }

  std::string folder_;
  qmModelPtr model_ = NewModel();
  SaveSettings settings_;
};

TEST_F(Textures, GoIntoTheGlbAsPngTopRowFirst) {
  ExportNotes notes;
  const std::vector<FileToSave> files = Files(GltfForm::Binary, "ship.glb", notes);
  ASSERT_EQ(files.size(), 1u);
  const std::string bytes = Written(files[0]);
  tinygltf::TinyGLTF loader;
  tinygltf::Model gltf;
  std::string error, warning;
  ASSERT_TRUE(loader.LoadBinaryFromMemory(&gltf, &error, &warning,
                                          reinterpret_cast<const unsigned char*>(bytes.data()),
                                          static_cast<unsigned int>(bytes.size())))
      << error;
  ASSERT_EQ(gltf.images.size(), 1u);
  EXPECT_EQ(gltf.images[0].mimeType, "image/png");
  ASSERT_GE(gltf.images[0].bufferView, 0);
  const tinygltf::BufferView& view = gltf.bufferViews[static_cast<size_t>(gltf.images[0].bufferView)];
  const Picture picture = Decode(gltf.buffers[0].data.data() + view.byteOffset, view.byteLength);
  ASSERT_EQ(picture.width, 4);
  EXPECT_EQ(picture.At(0, 0), std::vector<unsigned char>(kRed, kRed + 3));
  EXPECT_EQ(picture.At(0, 3), std::vector<unsigned char>(kBlue, kBlue + 3));

  ASSERT_EQ(gltf.textures.size(), 1u);
  EXPECT_EQ(gltf.textures[0].source, 0);
  EXPECT_EQ(gltf.materials[0].pbrMetallicRoughness.baseColorTexture.index, 0);
  EXPECT_EQ(gltf.materials[1].pbrMetallicRoughness.baseColorTexture.index, -1);
  EXPECT_EQ(gltf.materials[2].pbrMetallicRoughness.baseColorTexture.index, -1);
  EXPECT_EQ(notes.texturesLeftOut, "textures left out: missing.tga was not found beside ship.msh");
}

// glTF's texture origin is the image's top-left, OBJ's its bottom-left. The
// file's v runs down from the top, so glTF keeps it and OBJ writes 1 - v: the
// corner at v = 0.25 shows the red top half in both, the one at 0.75 blue.
TEST_F(Textures, ShowTheSameHalfAtTheSameCornerInGltfAndObj) {
  ExportNotes notes;
  const std::vector<FileToSave> gltfFiles = Files(GltfForm::Embedded, "ship.gltf", notes);
  ASSERT_EQ(gltfFiles.size(), 2u);
  EXPECT_EQ(gltfFiles[0].path, folder_ + "/out/ship.hull.tga.png");
  const std::string png = Written(gltfFiles[0]);
  const Picture picture =
      Decode(reinterpret_cast<const unsigned char*>(png.data()), png.size());
  const std::string json = Written(gltfFiles[1]);
  tinygltf::TinyGLTF loader;
  tinygltf::Model gltf;
  std::string error, warning;
  // The image is not beside it yet: read the document, not the image.
  loader.SetImageLoader(
      [](tinygltf::Image*, const int, std::string*, std::string*, int, int, const unsigned char*,
         int, void*) { return true; },
      nullptr);
  ASSERT_TRUE(loader.LoadASCIIFromString(&gltf, &error, &warning, json.c_str(),
                                         static_cast<unsigned int>(json.size()), ""))
      << error;
  EXPECT_EQ(gltf.images.at(0).uri, "ship.hull.tga.png");
  const tinygltf::Accessor& uvs = gltf.accessors.at(
      static_cast<size_t>(gltf.meshes[0].primitives[0].attributes.at("TEXCOORD_0")));
  const tinygltf::BufferView& view = gltf.bufferViews.at(static_cast<size_t>(uvs.bufferView));
  std::vector<float> gltfV(4);
  for (size_t n = 0; n < 4; ++n)
    std::memcpy(&gltfV[n], gltf.buffers[0].data.data() + view.byteOffset + (2 * n + 1) * 4, 4);

  std::vector<FileToSave> objFiles;
  ASSERT_TRUE(ObjFiles(model_.get(), settings_, folder_ + "/out/ship.obj", notes, objFiles, error))
      << error;
  ASSERT_EQ(objFiles.size(), 3u);
  EXPECT_EQ(objFiles[1].path, folder_ + "/out/ship.hull.tga.png");
  EXPECT_EQ(Written(objFiles[1]), png);
  EXPECT_NE(Written(objFiles[0]).find("newmtl Hull.TGA@boo\n"), std::string::npos);
  EXPECT_NE(Written(objFiles[0]).find("\nmap_Kd ship.hull.tga.png\n"), std::string::npos);
  std::vector<float> objV;
  std::istringstream lines(Written(objFiles[2]));
  for (std::string line; std::getline(lines, line) && objV.size() < 4;)
    if (line.rfind("vt ", 0) == 0) objV.push_back(std::strtof(line.c_str() + line.rfind(' '), nullptr));

  ASSERT_EQ(objV.size(), 4u);
  for (size_t n = 0; n < 4; ++n) {
    SCOPED_TRACE(n);
    const int fromTop = static_cast<int>(gltfV[n] * 4);
    const int fromBottom = static_cast<int>(objV[n] * 4);
    EXPECT_EQ(picture.At(0, fromTop), picture.At(0, 3 - fromBottom));
    EXPECT_EQ(picture.At(0, fromTop),
              std::vector<unsigned char>(n < 2 ? kRed : kBlue, (n < 2 ? kRed : kBlue) + 3));
  }
}

TEST_F(Textures, AreFoundInTextureFoldersAndSaidWhenUnreadable) {
  fs::create_directories(folder_ + "/tex");
  std::ofstream(folder_ + "/tex/MISSING.TGA") << "no image";
  settings_.textureFolders = {folder_ + "/tex"};
  ExportNotes notes;
  std::ostringstream out;
  ASSERT_TRUE(WriteGltf(model_.get(), settings_, GltfForm::Binary, out, notes));
  EXPECT_EQ(notes.texturesLeftOut.rfind("textures left out: could not read missing.tga (not an image of a "
                                        "kind read here: TGA, BMP, PNG or JPEG (",
                                        0),
            0u)
      << notes.texturesLeftOut;

  settings_.textures = false;
  ExportNotes off;
  std::vector<FileToSave> files = Files(GltfForm::Embedded, "ship.gltf", off);
  EXPECT_EQ(files.size(), 1u);
  EXPECT_TRUE(off.texturesLeftOut.empty());
}

// A convert batch writes many models into one folder: each model's images
// carry its own name, so two models' hull.tga never meet.
TEST_F(Textures, BesideTheSaveCarryItsNameAndNeverReplaceWhatIsRead) {
  EXPECT_EQ(GltfSavePaths(model_.get(), settings_, GltfForm::Embedded, folder_ + "/out/a.gltf"),
            (std::vector<std::string>{folder_ + "/out/a.hull.tga.png", folder_ + "/out/a.gltf"}));
  EXPECT_EQ(ObjSavePaths(model_.get(), settings_, folder_ + "/out/b.obj"),
            (std::vector<std::string>{folder_ + "/out/b.mtl", folder_ + "/out/b.hull.tga.png",
                                      folder_ + "/out/b.obj"}));
  EXPECT_EQ(GltfSavePaths(model_.get(), settings_, GltfForm::Binary, folder_ + "/out/c.glb"),
            std::vector<std::string>{folder_ + "/out/c.glb"});

  // The texture is the very file a save would write beside its model.
  ASSERT_EQ(::link((folder_ + "/msh/hull.tga").c_str(), (folder_ + "/out/a.hull.tga.png").c_str()), 0);
  ExportNotes notes;
  std::string error;
  EXPECT_FALSE(SaveGltf(model_.get(), settings_, folder_ + "/out/a.gltf", notes, error));
  EXPECT_EQ(error, "cannot save " + folder_ + "/out/a.gltf: its " + folder_ +
                       "/out/a.hull.tga.png would replace the texture " + folder_ +
                       "/msh/hull.tga");
  EXPECT_FALSE(fs::exists(folder_ + "/out/a.gltf"));
}

}  // namespace
