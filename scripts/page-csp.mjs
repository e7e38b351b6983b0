// Writes the Content-Security-Policy the shells send with the page, as a C++ header: every inline
// script of the built page is allowed by its SHA-256 hash and nothing else runs; styles are inline
// (elements and attributes); the page may talk to any account service over http or https.
// Usage: node scripts/page-csp.mjs <built app.html> <output header>
import { createHash } from 'node:crypto';
import { mkdirSync, readFileSync, writeFileSync } from 'node:fs';
import { dirname } from 'node:path';

export function pageCsp(html) {
  const hashes = [];
  for (const m of html.matchAll(/<script(\s[^>]*)?>([\s\S]*?)<\/script>/gi)) {
    if (/\ssrc\s*=/i.test(m[1] ?? '')) throw new Error('the page loads a script from elsewhere');
    hashes.push(`'sha256-${createHash('sha256').update(m[2], 'utf8').digest('base64')}'`);
  }
  return [
    "default-src 'none'",
    `script-src ${hashes.join(' ')}`,
    "style-src 'unsafe-inline'",
    "img-src 'self' data: blob:",
    "font-src 'self' data:",
    "manifest-src 'self'",
    "connect-src 'self' http: https:",
    "base-uri 'none'",
    "form-action 'none'",
    "frame-ancestors 'none'",
  ].join('; ');
}

const [input, output] = process.argv.slice(2);
if (input && output) {
  const csp = pageCsp(readFileSync(input, 'utf8'));
  mkdirSync(dirname(output), { recursive: true });
  writeFileSync(
    output,
    `// Generated from the built page by scripts/page-csp.mjs; do not edit.\n#pragma once\n` +
      `inline constexpr char kPageCsp[] = ${JSON.stringify(csp)};\n`,
  );
}
