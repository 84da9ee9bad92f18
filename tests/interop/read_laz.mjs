// Reads LAZ files with the copc package: its header parser and its LAZ
// decoder (laz-perf's own WebAssembly build, which reads the LAZ record and
// the chunk table itself). Prints one line per file, fields separated by tabs:
//
//   file, point format, record length, point data offset, VLR count, point
//   count, counts by return (comma-separated), EVLR offset, EVLR count,
//   min x,y,z, max x,y,z, the decompressed records in hexadecimal
//
// A file it cannot read prints "error", the file and the reason, and the
// script ends with status 1 after the other files.
//
// Usage: node read_laz.mjs FILE.laz...

import {readFile} from 'node:fs/promises';
import copc from 'copc';

const {Las} = copc;

let failed = false;
for (const file of process.argv.slice(2)) {
  try {
    const bytes = new Uint8Array(await readFile(file));
    const header = Las.Header.parse(bytes);
    const records = await Las.PointData.decompressFile(bytes);
    const fields = [
      file,
      header.pointDataRecordFormat,
      header.pointDataRecordLength,
      header.pointDataOffset,
      header.vlrCount,
      header.pointCount,
      header.pointCountByReturn.join(','),
      header.evlrOffset,
      header.evlrCount,
      header.min.join(','),
      header.max.join(','),
      Buffer.from(records.buffer, records.byteOffset, records.byteLength).toString('hex')
    ];
    process.stdout.write(fields.join('\t') + '\n');
  } catch (error) {
    failed = true;
    process.stdout.write(['error', file, String(error).replace(/\s+/g, ' ')].join('\t') + '\n');
  }
}
process.exitCode = failed ? 1 : 0;
