// Reads LAS files with the loaders.gl LAS loader and prints, one JSON object
// per line and file, what it decoded: the header's point count, record format
// and bounds, the number of points decoded, and every point's position
// (scaled coordinates, in double precision), intensity, classification and
// colour. A file the loader cannot read prints {"file", "error"} and the
// script ends with status 1 after the other files.
//
// Usage: node read_tiles.mjs FILE.las...

import {readFile} from 'node:fs/promises';
import {parse} from '@loaders.gl/core';
import {LASLoader} from '@loaders.gl/las';

const options = {worker: false, las: {shape: 'mesh', fp64: true, skip: 1, colorDepth: 16}};

let failed = false;
for (const file of process.argv.slice(2)) {
  try {
    const bytes = await readFile(file);
    const buffer = bytes.buffer.slice(bytes.byteOffset, bytes.byteOffset + bytes.byteLength);
    const mesh = await parse(buffer, LASLoader, options);
    const header = mesh.loaderData;
    const colors = mesh.attributes.COLOR_0;
    const result = {
      file,
      pointsCount: header.pointsCount,
      vertexCount: mesh.header.vertexCount,
      pointsFormatId: header.pointsFormatId,
      pointsStructSize: header.pointsStructSize,
      pointsOffset: header.pointsOffset,
      hasColor: header.hasColor,
      mins: Array.from(header.mins),
      maxs: Array.from(header.maxs),
      positions: Array.from(mesh.attributes.POSITION.value),
      intensity: Array.from(mesh.attributes.intensity.value),
      classification: Array.from(mesh.attributes.classification.value),
      colors: colors ? Array.from(colors.value) : null
    };
    process.stdout.write(JSON.stringify(result) + '\n');
  } catch (error) {
    failed = true;
    process.stdout.write(JSON.stringify({file, error: String((error && error.stack) || error)}) + '\n');
  }
}
process.exitCode = failed ? 1 : 0;
