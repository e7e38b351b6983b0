// Draws the application icon and writes it as one .ico with PNG images of 16 to 256 pixels:
// a white clipboard with three coloured lines and a green check mark on a rounded square with a
// pink-to-mint gradient. Usage: node resources/icon.mjs <out.ico>
// or, for one PNG of any size (the update site's icons): node resources/icon.mjs --png SIZE <out.png>
import { mkdirSync, writeFileSync } from 'node:fs';
import { dirname } from 'node:path';
import { deflateSync } from 'node:zlib';

const SIZES = [16, 24, 32, 48, 64, 128, 256];
const SS = 4; // sub-samples per axis

// Shapes in a 0..1 square; each returns whether a point is inside.
const roundRect = (l, t, r, b, rad) => (x, y) => {
  if (x < l || x > r || y < t || y > b) return false;
  const qx = Math.min(Math.max(x, l + rad), r - rad);
  const qy = Math.min(Math.max(y, t + rad), b - rad);
  return (x - qx) ** 2 + (y - qy) ** 2 <= rad * rad;
};
const segment = (x1, y1, x2, y2, w) => (x, y) => {
  const dx = x2 - x1, dy = y2 - y1;
  const k = Math.max(0, Math.min(1, ((x - x1) * dx + (y - y1) * dy) / (dx * dx + dy * dy)));
  return (x - x1 - k * dx) ** 2 + (y - y1 - k * dy) ** 2 <= (w / 2) ** 2;
};
const mix = (a, b, k) => a.map((v, i) => v + (b[i] - v) * k);

const layers = [
  { inside: roundRect(0.02, 0.02, 0.98, 0.98, 0.22), colour: (x, y) => mix([255, 143, 163], [127, 216, 190], (x + y) / 2) },
  { inside: roundRect(0.24, 0.18, 0.76, 0.86, 0.07), colour: () => [255, 255, 255] },
  { inside: roundRect(0.38, 0.12, 0.62, 0.24, 0.04), colour: () => [255, 179, 138] },
  { inside: roundRect(0.32, 0.36, 0.68, 0.42, 0.03), colour: () => [255, 143, 163] },
  { inside: roundRect(0.32, 0.50, 0.68, 0.56, 0.03), colour: () => [184, 169, 240] },
  { inside: roundRect(0.32, 0.64, 0.52, 0.70, 0.03), colour: () => [255, 179, 138] },
  { inside: (x, y) => segment(0.55, 0.70, 0.63, 0.78, 0.07)(x, y) || segment(0.63, 0.78, 0.80, 0.58, 0.07)(x, y), colour: () => [94, 194, 127] },
];

function render(size) {
  const rgba = Buffer.alloc(size * size * 4);
  for (let py = 0; py < size; py++)
    for (let px = 0; px < size; px++) {
      let acc = [0, 0, 0, 0]; // premultiplied sum over sub-samples
      for (let sy = 0; sy < SS; sy++)
        for (let sx = 0; sx < SS; sx++) {
          const x = (px + (sx + 0.5) / SS) / size, y = (py + (sy + 0.5) / SS) / size;
          let c = null;
          for (const layer of layers) if (layer.inside(x, y)) c = layer.colour(x, y);
          if (c) acc = [acc[0] + c[0], acc[1] + c[1], acc[2] + c[2], acc[3] + 1];
        }
      const o = (py * size + px) * 4;
      const n = acc[3];
      if (n) for (let i = 0; i < 3; i++) rgba[o + i] = Math.round(acc[i] / n);
      rgba[o + 3] = Math.round((255 * n) / (SS * SS));
    }
  return rgba;
}

const CRC = Array.from({ length: 256 }, (_, n) => {
  let c = n;
  for (let k = 0; k < 8; k++) c = c & 1 ? 0xedb88320 ^ (c >>> 1) : c >>> 1;
  return c >>> 0;
});
const crc32 = (buf) => {
  let c = 0xffffffff;
  for (const b of buf) c = CRC[(c ^ b) & 0xff] ^ (c >>> 8);
  return (c ^ 0xffffffff) >>> 0;
};
function chunk(type, data) {
  const out = Buffer.alloc(12 + data.length);
  out.writeUInt32BE(data.length, 0);
  out.write(type, 4, 'ascii');
  data.copy(out, 8);
  out.writeUInt32BE(crc32(out.subarray(4, 8 + data.length)), 8 + data.length);
  return out;
}
function png(size, rgba) {
  const header = Buffer.alloc(13);
  header.writeUInt32BE(size, 0);
  header.writeUInt32BE(size, 4);
  header.set([8, 6, 0, 0, 0], 8); // 8-bit RGBA
  const raw = Buffer.alloc(size * (size * 4 + 1));
  for (let y = 0; y < size; y++) rgba.copy(raw, y * (size * 4 + 1) + 1, y * size * 4, (y + 1) * size * 4);
  const signature = Buffer.from([137, 80, 78, 71, 13, 10, 26, 10]);
  return Buffer.concat([signature, chunk('IHDR', header), chunk('IDAT', deflateSync(raw, { level: 9 })), chunk('IEND', Buffer.alloc(0))]);
}

if (process.argv[2] === '--png') {
  const size = Number(process.argv[3]);
  const out = process.argv[4];
  if (!(size >= 1 && size <= 1024) || !out) {
    console.error('usage: node resources/icon.mjs --png SIZE <out.png>');
    process.exit(2);
  }
  mkdirSync(dirname(out), { recursive: true });
  writeFileSync(out, png(size, render(size)));
  process.exit(0);
}

const images = SIZES.map((s) => png(s, render(s)));
const dir = Buffer.alloc(6 + 16 * images.length);
dir.writeUInt16LE(1, 2); // icon
dir.writeUInt16LE(images.length, 4);
let offset = dir.length;
images.forEach((img, i) => {
  const e = 6 + 16 * i, s = SIZES[i];
  dir.writeUInt8(s === 256 ? 0 : s, e);
  dir.writeUInt8(s === 256 ? 0 : s, e + 1);
  dir.writeUInt16LE(1, e + 4); // planes
  dir.writeUInt16LE(32, e + 6); // bits per pixel
  dir.writeUInt32LE(img.length, e + 8);
  dir.writeUInt32LE(offset, e + 12);
  offset += img.length;
});
const out = process.argv[2];
if (!out) {
  console.error('usage: node resources/icon.mjs <out.ico>');
  process.exit(2);
}
mkdirSync(dirname(out), { recursive: true });
writeFileSync(out, Buffer.concat([dir, ...images]));
