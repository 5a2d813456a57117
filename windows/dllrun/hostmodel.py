"""The harness's own host model library: the 28 functions of
host/qmModelLib.h that the module imports from qmModelLib.dll, over the
emulated memory, with the meaning the header gives them.

Handles are opaque addresses that are never mapped, so a module that looks
inside one faults. Floats are kept as their 32-bit patterns, exactly as the
module passed them. `snapshot` gives the model in the form reference.py
compares.
"""

import struct

from emu32 import HANDLES, Fault
from reference import float_bits
from winapi32 import answer, answers_of, signed

NAME_MAX = 31  # the host's names are 32-byte buffers


def qmmodellib(name, words):
    return answer("qmmodellib.dll", name, words)


class Mesh:
    def __init__(self):
        self.name = b""
        self.material = -1
        self.vertices = []   # [position bits x3, texCoords bits x2, bone]
        self.normals = []    # [bits x3]
        self.triangles = []  # [vertex indices x3, normal indices x3]


class Material:
    def __init__(self):
        self.name = b""
        self.colours = {"ambient": [0] * 4, "diffuse": [0] * 4, "specular": [0] * 4,
                        "emissive": [0] * 4}
        self.shininess = 0
        self.transparency = 0


class HostModel:
    def __init__(self, machine):
        self.m = machine
        self.model = HANDLES + 0x10
        self.total_frames = 0
        self.meshes = []
        self.materials = []
        self.objects = {}
        self.handle_next = HANDLES + 0x01000000
        self.flip_bit = False  # planted fault: one float bit of the first vertex changes
        self.answers = answers_of(self)

    def resolve(self, name):
        return self.answers.get(("qmmodellib.dll", name))

    def _handle(self, obj):
        handle = getattr(obj, "handle", None)
        if handle is None:
            handle = obj.handle = self.handle_next
            self.handle_next += 16
            self.objects[handle] = obj
        return handle

    def _object(self, handle, kind):
        """The object behind a handle; None for null (every function of the
        library ignores a null handle)."""
        if handle == 0:
            return None
        obj = self.objects.get(handle)
        if not isinstance(obj, kind):
            raise Fault("0x%08x is no %s handle the library gave out" % (handle, kind.__name__))
        return obj

    def _model(self, handle):
        if handle == 0:
            return False
        if handle != self.model:
            raise Fault("0x%08x is not the host's model" % handle)
        return True

    def _name(self, address):
        """A name as the library keeps it: up to 31 bytes, up to a NUL."""
        if address == 0:
            return b""
        out = b""
        while len(out) < NAME_MAX:
            at = address + len(out)
            chunk = self.m.read(at, min(NAME_MAX - len(out), 0x1000 - at % 0x1000))
            end = chunk.find(b"\0")
            if end >= 0:
                return out + chunk[:end]
            out += chunk
        return out

    def _floats(self, address, count):
        return list(struct.unpack("<%dI" % count, self.m.read(address, 4 * count)))

    def reset(self):
        self.total_frames = 0
        self.meshes = []
        self.materials = []
        self.objects = {}

    # The model

    @qmmodellib("qmModel_Destroy", 1)
    def destroy(self, model):
        if self._model(model):
            self.reset()

    @qmmodellib("qmModel_SetTotalFrames", 2)
    def set_total_frames(self, model, frames):
        if self._model(model):
            self.total_frames = signed(frames)

    @qmmodellib("qmModel_AddMesh", 1)
    def add_mesh(self, model):
        if not self._model(model):
            return -1
        self.meshes.append(Mesh())
        return len(self.meshes) - 1

    @qmmodellib("qmModel_AddMaterial", 1)
    def add_material(self, model):
        if not self._model(model):
            return -1
        self.materials.append(Material())
        return len(self.materials) - 1

    @qmmodellib("qmModel_GetMeshAt", 2)
    def get_mesh_at(self, model, index):
        index = signed(index)
        if not self._model(model) or not 0 <= index < len(self.meshes):
            return 0
        return self._handle(self.meshes[index])

    @qmmodellib("qmModel_GetMaterialAt", 2)
    def get_material_at(self, model, index):
        index = signed(index)
        if not self._model(model) or not 0 <= index < len(self.materials):
            return 0
        return self._handle(self.materials[index])

    def _find(self, items, name):
        key = self._name(name)
        return next((n for n, item in enumerate(items) if item.name == key), -1)

    @qmmodellib("qmModel_FindMeshByName", 2)
    def find_mesh(self, model, name):
        return self._find(self.meshes, name) if self._model(model) else -1

    @qmmodellib("qmModel_FindMaterialByName", 2)
    def find_material(self, model, name):
        return self._find(self.materials, name) if self._model(model) else -1

    # Meshes and materials

    @qmmodellib("qmMesh_SetName", 2)
    def set_mesh_name(self, mesh, name):
        mesh = self._object(mesh, Mesh)
        if mesh:
            mesh.name = self._name(name)

    @qmmodellib("qmMaterial_SetName", 2)
    def set_material_name(self, material, name):
        material = self._object(material, Material)
        if material:
            material.name = self._name(name)

    @qmmodellib("qmMesh_SetMaterialIndex", 2)
    def set_material_index(self, mesh, index):
        mesh = self._object(mesh, Mesh)
        if mesh:
            mesh.material = signed(index)

    def _colour(self, material, rgba, which):
        material = self._object(material, Material)
        if material and rgba:
            material.colours[which] = self._floats(rgba, 4)

    @qmmodellib("qmMaterial_SetAmbient", 2)
    def set_ambient(self, material, rgba):
        self._colour(material, rgba, "ambient")

    @qmmodellib("qmMaterial_SetDiffuse", 2)
    def set_diffuse(self, material, rgba):
        self._colour(material, rgba, "diffuse")

    @qmmodellib("qmMaterial_SetSpecular", 2)
    def set_specular(self, material, rgba):
        self._colour(material, rgba, "specular")

    @qmmodellib("qmMaterial_SetEmissive", 2)
    def set_emissive(self, material, rgba):
        self._colour(material, rgba, "emissive")

    # A float argument is one word on the stack: its bits are kept as passed.
    @qmmodellib("qmMaterial_SetShininess", 2)
    def set_shininess(self, material, bits):
        material = self._object(material, Material)
        if material:
            material.shininess = bits

    @qmmodellib("qmMaterial_SetTransparency", 2)
    def set_transparency(self, material, bits):
        material = self._object(material, Material)
        if material:
            material.transparency = bits

    # Vertices, normals, triangles

    @qmmodellib("qmMesh_AddVertex", 1)
    def add_vertex(self, mesh):
        mesh = self._object(mesh, Mesh)
        if mesh is None:
            return -1
        mesh.vertices.append(Vertex())
        return len(mesh.vertices) - 1

    @qmmodellib("qmMesh_AddVertexNormal", 1)
    def add_normal(self, mesh):
        mesh = self._object(mesh, Mesh)
        if mesh is None:
            return -1
        mesh.normals.append([0, 0, 0])
        return len(mesh.normals) - 1

    @qmmodellib("qmMesh_AddTriangle", 1)
    def add_triangle(self, mesh):
        mesh = self._object(mesh, Mesh)
        if mesh is None:
            return -1
        mesh.triangles.append(Triangle())
        return len(mesh.triangles) - 1

    @qmmodellib("qmMesh_GetVertexAt", 2)
    def get_vertex_at(self, mesh, index):
        mesh, index = self._object(mesh, Mesh), signed(index)
        if mesh is None or not 0 <= index < len(mesh.vertices):
            return 0
        return self._handle(mesh.vertices[index])

    @qmmodellib("qmMesh_GetTriangleAt", 2)
    def get_triangle_at(self, mesh, index):
        mesh, index = self._object(mesh, Mesh), signed(index)
        if mesh is None or not 0 <= index < len(mesh.triangles):
            return 0
        return self._handle(mesh.triangles[index])

    @qmmodellib("qmMesh_SetVertexNormalAt", 3)
    def set_normal_at(self, mesh, index, xyz):
        mesh, index = self._object(mesh, Mesh), signed(index)
        if mesh is not None and xyz and 0 <= index < len(mesh.normals):
            mesh.normals[index] = self._floats(xyz, 3)

    @qmmodellib("qmVertex_SetVertex", 2)
    def set_position(self, vertex, xyz):
        vertex = self._object(vertex, Vertex)
        if vertex and xyz:
            vertex.position = self._floats(xyz, 3)
            if self.flip_bit:
                vertex.position[0] ^= 1
                self.flip_bit = False

    @qmmodellib("qmVertex_SetTexCoords", 2)
    def set_tex_coords(self, vertex, uv):
        vertex = self._object(vertex, Vertex)
        if vertex and uv:
            vertex.tex_coords = self._floats(uv, 2)

    @qmmodellib("qmVertex_SetBoneIndex", 2)
    def set_bone(self, vertex, bone):
        vertex = self._object(vertex, Vertex)
        if vertex:
            vertex.bone = signed(bone)

    @qmmodellib("qmTriangle_SetVertexIndices", 2)
    def set_vertex_indices(self, triangle, indices):
        triangle = self._object(triangle, Triangle)
        if triangle and indices:
            triangle.vertices = list(struct.unpack("<3H", self.m.read(indices, 6)))

    @qmmodellib("qmTriangle_SetNormalIndices", 2)
    def set_normal_indices(self, triangle, indices):
        triangle = self._object(triangle, Triangle)
        if triangle and indices:
            triangle.normals = list(struct.unpack("<3H", self.m.read(indices, 6)))

    # Reading back

    def snapshot(self):
        """The model as reference.canonical_model gives qmhost's JSON."""
        f = float_bits
        return {
            "totalFrames": self.total_frames,
            "meshes": [{
                "name": mesh.name,
                "material": mesh.material,
                "vertices": [{"position": [f(b) for b in v.position],
                              "texCoords": [f(b) for b in v.tex_coords], "boneIndex": v.bone}
                             for v in mesh.vertices],
                "normals": [[f(b) for b in n] for n in mesh.normals],
                "triangles": [{"vertices": list(t.vertices), "normals": list(t.normals)}
                              for t in mesh.triangles],
            } for mesh in self.meshes],
            "materials": [dict({"name": material.name},
                               **{k: [f(b) for b in v] for k, v in material.colours.items()},
                               shininess=f(material.shininess),
                               transparency=f(material.transparency))
                          for material in self.materials],
        }


class Vertex:
    __slots__ = ("position", "tex_coords", "bone", "handle")

    def __init__(self):
        self.position = [0, 0, 0]
        self.tex_coords = [0, 0]
        self.bone = -1
        self.handle = None


class Triangle:
    __slots__ = ("vertices", "normals", "handle")

    def __init__(self):
        self.vertices = [0, 0, 0]
        self.normals = [0, 0, 0]
        self.handle = None
