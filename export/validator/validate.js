// Validates glTF files with the Khronos validator; prints each file's counts
// and its errors and warnings, and exits 1 when any file has an error or a
// warning. Images a .gltf names are read from beside it.
//
//   node validate.js FILE.glb FILE.gltf ...
'use strict';
const fs = require('fs');
const path = require('path');
const validator = require('gltf-validator');

async function validate(file) {
  const report = await validator.validateBytes(new Uint8Array(fs.readFileSync(file)), {
    uri: path.basename(file),
    maxIssues: 0,
    // The buffer travels inside; the images of a .gltf lie beside it.
    externalResourceFunction: (uri) => {
      if (uri.startsWith('data:') || uri.includes('/'))
        return Promise.reject(new Error(`external resource ${uri}: not an image beside the file`));
      return Promise.resolve(new Uint8Array(
          fs.readFileSync(path.join(path.dirname(file), decodeURIComponent(uri)))));
    },
  });
  const issues = report.issues;
  console.log(`${file}: ${issues.numErrors} errors, ${issues.numWarnings} warnings, ` +
              `${issues.numInfos} infos, ${issues.numHints} hints`);
  for (const message of issues.messages) {
    if (message.severity <= 1)
      console.log(`  ${message.severity === 0 ? 'error' : 'warning'} ${message.code} ` +
                  `${message.pointer || ''}: ${message.message}`);
  }
  return issues.numErrors === 0 && issues.numWarnings === 0;
}

(async () => {
  const files = process.argv.slice(2);
  if (files.length === 0) {
    console.error('usage: node validate.js FILE...');
    process.exit(2);
  }
  let clean = true;
  for (const file of files) {
    try {
      clean = (await validate(file)) && clean;
    } catch (error) {
      console.log(`${file}: cannot validate: ${error.message || error}`);
      clean = false;
    }
  }
  process.exit(clean ? 0 : 1);
})();
