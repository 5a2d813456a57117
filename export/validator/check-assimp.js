// Reads saved files back with assimp ("assimp info -r", no post-processing)
// and compares what it finds with the model as qmhost saved it in JSON:
// numbers of meshes, vertices and faces, and the node and material names.
//
//   node check-assimp.js MODEL.json MODEL.glb MODEL.obj
//
// The expected numbers are counted here from the JSON on their own terms:
// glTF gives one assimp mesh per primitive (a triangle one with a vertex per
// distinct vertex/normal pair, a point one for the unused vertices); OBJ
// gives one per object with elements, with a vertex per face corner and two
// per unused vertex (written as a line from the vertex to itself). The JSON
// holds the whole model, the saves by default detail level 0 of each group
// with the markers and the meshes outside any level: the rest is left out
// here too.
//
// Two habits of assimp's readers shape the name checks: its glTF reader loads
// only the materials some mesh uses, and its OBJ reader takes an object name
// up to the first space (level meshes are named "L00LD00#red 100.00#"), so
// OBJ node names are compared by their first word.
'use strict';
const fs = require('fs');
const { execFileSync } = require('child_process');

// A level's meshes are named "L00LD01#red 400.00#" and "L00LD01M00".
function levelOf(name) {
  const match = /^L\d{2}LD(\d{2})(?:#red |M\d{2}$)/.exec(name);
  return match ? Number(match[1]) : null;
}

function saved(mesh) {
  const level = levelOf(mesh.name);
  return level === null || level === 0;
}

function expected(model) {
  const gltf = { meshes: 0, vertices: 0, faces: 0 };
  const obj = { meshes: 0, vertices: 0, faces: 0 };
  for (const mesh of model.meshes.filter(saved)) {
    const vertexCount = mesh.vertices.length;
    const normalCount = mesh.normals.length;
    if (vertexCount === 0) continue;
    const used = new Set();
    const pairs = new Set();
    let triangles = 0;
    for (const triangle of mesh.triangles) {
      const whole = [0, 1, 2].every((c) => triangle.vertices[c] < vertexCount &&
          (normalCount === 0 || triangle.normals[c] < normalCount));
      if (!whole) continue;
      ++triangles;
      for (let c = 0; c < 3; ++c) {
        used.add(triangle.vertices[c]);
        pairs.add(`${triangle.vertices[c]}/${normalCount ? triangle.normals[c] : 0}`);
      }
    }
    const points = vertexCount - used.size;
    gltf.meshes += (triangles > 0 ? 1 : 0) + (points > 0 ? 1 : 0);
    gltf.vertices += pairs.size + points;
    gltf.faces += triangles + points;
    obj.meshes += 1;
    obj.vertices += 3 * triangles + 2 * points;
    obj.faces += triangles + points;
  }
  return { gltf, obj };
}

function readBack(file) {
  const text = execFileSync('assimp', ['info', file, '-r'], { encoding: 'utf8' });
  const number = (label) => {
    const match = text.match(new RegExp(`^${label}:\\s+(\\d+)`, 'm'));
    if (!match) throw new Error(`${file}: assimp printed no "${label}"`);
    return Number(match[1]);
  };
  const section = (start, end) => {
    const from = text.indexOf(start);
    if (from < 0) return [];
    const to = end ? text.indexOf(end, from) : -1;
    return text.slice(from + start.length, to < 0 ? undefined : to).split('\n');
  };
  const materials = section('Named Materials:', 'Node hierarchy:')
    .map((line) => line.match(/^    '(.*)' \(prop\)/))
    .filter(Boolean)
    .map((match) => match[1]);
  const nodes = section('Node hierarchy:')
    .map((line) => line.replace(/^[\s│├└╴]+/, '').replace(/ \(mesh [\d, ]+\)$/, ''))
    .filter((name) => name.length > 0);
  return {
    counts: { meshes: number('Meshes'), vertices: number('Vertices'), faces: number('Faces') },
    materials: new Set(materials),
    nodes: new Set(nodes),
  };
}

function check(file, want, nodeNames, materialNames) {
  const got = readBack(file);
  const problems = [];
  for (const key of ['meshes', 'vertices', 'faces'])
    if (got.counts[key] !== want[key])
      problems.push(`${key}: ${got.counts[key]}, expected ${want[key]}`);
  for (const name of nodeNames)
    if (!got.nodes.has(name)) problems.push(`no node named "${name}"`);
  for (const name of materialNames)
    if (!got.materials.has(name)) problems.push(`no material named "${name}"`);
  const summary = `${want.meshes} meshes, ${want.vertices} vertices, ${want.faces} faces`;
  console.log(`${file}: ${problems.length ? 'FAILED' : 'ok'} (${summary})`);
  for (const problem of problems) console.log(`  ${problem}`);
  return problems.length === 0;
}

const [jsonFile, glbFile, objFile] = process.argv.slice(2);
if (!objFile) {
  console.error('usage: node check-assimp.js MODEL.json MODEL.glb MODEL.obj');
  process.exit(2);
}
const model = JSON.parse(fs.readFileSync(jsonFile, 'utf8'));
const want = expected(model);
const meshNames = model.meshes.filter(saved).map((mesh) => mesh.name);
const usedMaterials = model.meshes
  .filter((mesh) => saved(mesh) && mesh.vertices.length > 0 && model.materials[mesh.material])
  .map((mesh) => model.materials[mesh.material].name);
const clean = [
  check(glbFile, want.gltf, meshNames, usedMaterials),
  check(objFile, want.obj, meshNames.map((name) => name.split(' ')[0]),
        model.materials.map((material) => material.name)),
].every(Boolean);
process.exit(clean ? 0 : 1);
