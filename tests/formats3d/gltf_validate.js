// Runs the Khronos glTF validator on one .gltf or .glb file, resources
// beside it read from its folder. Prints the counts and every error; the exit
// status is 0 with no errors, 1 with errors, 2 when the file cannot be read.
'use strict';
const fs = require('fs');
const path = require('path');
const validator = require('gltf-validator');

const file = process.argv[2];
if (!file) {
  console.error('usage: gltf_validate.js <file>');
  process.exit(2);
}

let data;
try {
  data = new Uint8Array(fs.readFileSync(file));
} catch (error) {
  console.error('cannot read ' + file + ': ' + error.message);
  process.exit(2);
}

const folder = path.dirname(file);
validator
  .validateBytes(data, {
    uri: path.basename(file),
    maxIssues: 0,
    externalResourceFunction: (uri) =>
      new Promise((resolve, reject) => {
        fs.readFile(path.join(folder, decodeURIComponent(uri)), (error, bytes) =>
          error ? reject(error.toString()) : resolve(new Uint8Array(bytes)));
      }),
  })
  .then((report) => {
    const issues = report.issues;
    console.log('errors ' + issues.numErrors + ' warnings ' + issues.numWarnings);
    for (const message of issues.messages) {
      if (message.severity === 0) console.log('error ' + message.code + ' ' + message.pointer + ': ' + message.message);
    }
    const info = report.info || {};
    console.log('morph targets ' + (info.hasMorphTargets ? 1 : 0) + ' skins ' + (info.hasSkins ? 1 : 0) +
                ' animations ' + (info.animationCount || 0) + ' images ' + (info.resources || []).filter(
                    (r) => r.pointer && r.pointer.startsWith('/images/') && r.mimeType === 'image/png' && r.image).length);
    process.exit(issues.numErrors === 0 ? 0 : 1);
  })
  .catch((error) => {
    console.error('validation failed: ' + error);
    process.exit(2);
  });
