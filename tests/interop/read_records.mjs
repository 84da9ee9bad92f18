// Reads LAS files with the copc package's LAS reader and prints, one JSON
// object per line and file, what it decoded: the header (version, format,
// record length, point offset and count, counts by return, bounds, global
// encoding, EVLR start and count), every VLR and EVLR it walks, the extra
// bytes fields that an Extra Bytes record describes, and every record's
// dimensions as columns ({"X": [...], "ReturnNumber": [...], ...}, extra
// bytes fields under their names).
//
// copc parses the headers of LAS 1.2 and 1.4 only. For other versions the
// header comes from the loaders.gl LAS loader (which must read the file
// whole) and copc decodes the records with it; such a file has no "vlrs" and
// no extra bytes fields, and only the header fields that loaders.gl gives.
// A file neither reads prints {"file", "error"} and the script ends with
// status 1 after the other files.
//
// Usage: node read_records.mjs FILE.las...

import {readFile} from 'node:fs/promises';
import {parse} from '@loaders.gl/core';
import {LASLoader} from '@loaders.gl/las';
import copc from 'copc';

const {Las} = copc;

// The header as copc parses it, with the VLRs and EVLRs it walks.
async function readWithCopc(file, bytes) {
  const header = Las.Header.parse(bytes);
  const vlrs = await Las.Vlr.walk(file, header);
  const described = Las.Vlr.find(vlrs, 'LASF_Spec', 4);
  const extraBytes = described ? Las.ExtraBytes.parse(await Las.Vlr.fetch(file, described)) : [];
  return {reader: 'copc', header, vlrs, extraBytes};
}

// The header fields that loaders.gl parses, named as copc names them.
async function readWithLoadersGl(bytes) {
  const buffer = bytes.buffer.slice(bytes.byteOffset, bytes.byteOffset + bytes.byteLength);
  const mesh = await parse(buffer, LASLoader, {worker: false, las: {shape: 'mesh', fp64: true, skip: 1, colorDepth: 16}});
  const h = mesh.loaderData;
  const header = {
    pointDataRecordFormat: h.pointsFormatId & 0x3f,
    pointDataRecordLength: h.pointsStructSize,
    pointDataOffset: h.pointsOffset,
    pointCount: h.pointsCount,
    scale: Array.from(h.scale),
    offset: Array.from(h.offset),
    min: Array.from(h.mins),
    max: Array.from(h.maxs)
  };
  return {reader: 'loaders.gl header, copc records', header, vlrs: null, extraBytes: []};
}

function columns(bytes, header, extraBytes) {
  const start = header.pointDataOffset;
  const data = bytes.subarray(start, start + header.pointCount * header.pointDataRecordLength);
  const view = Las.View.create(data, header, extraBytes);
  const out = {};
  for (const name of Object.keys(view.dimensions)) {
    const get = view.getter(name);
    const values = new Array(view.pointCount);
    for (let i = 0; i < view.pointCount; ++i) values[i] = Number(get(i));
    out[name] = values;
  }
  return {pointCount: view.pointCount, dimensions: out};
}

let failed = false;
for (const file of process.argv.slice(2)) {
  try {
    const bytes = new Uint8Array(await readFile(file));
    const copcVersion = bytes[24] === 1 && (bytes[25] === 2 || bytes[25] === 4);
    const read = copcVersion ? await readWithCopc(file, bytes) : await readWithLoadersGl(bytes);
    const {header} = read;
    const points = columns(bytes, header, read.extraBytes);
    const result = {
      file,
      reader: read.reader,
      majorVersion: header.majorVersion ?? null,
      minorVersion: header.minorVersion ?? null,
      globalEncoding: header.globalEncoding ?? null,
      headerLength: header.headerLength ?? null,
      pointDataOffset: header.pointDataOffset,
      vlrCount: header.vlrCount ?? null,
      pointDataRecordFormat: header.pointDataRecordFormat,
      pointDataRecordLength: header.pointDataRecordLength,
      pointCount: header.pointCount,
      pointCountByReturn: header.pointCountByReturn ?? null,
      waveformDataOffset: header.waveformDataOffset ?? null,
      evlrOffset: header.evlrOffset ?? null,
      evlrCount: header.evlrCount ?? null,
      min: header.min,
      max: header.max,
      vlrs: read.vlrs
        ? read.vlrs.map((v) => ({
            userId: v.userId,
            recordId: v.recordId,
            contentOffset: v.contentOffset,
            contentLength: v.contentLength,
            description: v.description,
            isExtended: v.isExtended
          }))
        : null,
      extraBytes: read.extraBytes.map((e) => ({name: e.name, type: e.type, length: e.length})),
      pointsDecoded: points.pointCount,
      dimensions: points.dimensions
    };
    process.stdout.write(JSON.stringify(result) + '\n');
  } catch (error) {
    failed = true;
    process.stdout.write(JSON.stringify({file, error: String((error && error.stack) || error)}) + '\n');
  }
}
process.exitCode = failed ? 1 : 0;
