// Assembles the planner page into one self-contained app.html from the sources beside this file.
// Usage: node page/build.mjs <output path>
//
// index.html is the frame. Its markers are replaced by the named source file:
//   /*@js name*/  /*@css name*/  <!--@html name-->
// A "?" after the marker word (/*@js? name*/) makes the file optional: a missing file leaves
// nothing. Names are paths below page/ (core/state.js). Markers inside included files are
// expanded too, so core/index.js pulls in lib/ and the rest of core/.
// An included file ends at a line "// @node-only": what follows serves node's tests only.
// /*@setting NAME*/ '' becomes the build setting NAME as a JavaScript string literal (see
// buildSettings); the '' after the marker keeps the source file valid for node's tests.
// The output depends on nothing but these files and those settings.
//
// Optional slots, filled once their files exist: the account dialogs (account/*.html) and
// pwatip.html (the home-screen tip) among the floating layers, their styles after style.css, and
// pwatip.js after the account module in the script element after the page core.
import { existsSync, mkdirSync, readFileSync, writeFileSync } from 'node:fs';
import { dirname, join } from 'node:path';
import { fileURLToPath } from 'node:url';

const SRC = dirname(fileURLToPath(import.meta.url));
// Build settings, each from the environment of the build, with its default:
//   SITE_HOST (VELLORA_SITE_HOST): the public site's host name, for example "vellora.example.org".
//     Its "/vellora/" folder is the update site and "/vellora/api" the account service of every
//     copy not given another one. Empty (the default): there is no public site, and a copy knows a
//     service only when it is served by one or was given one with ?api=.
export function buildSettings(env = process.env) {
  return { SITE_HOST: String(env.VELLORA_SITE_HOST || '').trim().toLowerCase() };
}
const SETTING = /\/\*@setting (\w+)\*\/(?: '')?/g;

const MARKER = /\/\*@(js|css)(\?)? ([\w./-]+)\*\/|<!--@(html)(\?)? ([\w./-]+)-->/g;

function include(dir, kind, name, optional, depth, settings) {
  // names are paths below page/, never above it
  if (name.split('/').some((p) => p === '' || p === '.' || p === '..')) throw new Error('bad page source name: ' + name);
  const path = join(dir, name);
  if (!existsSync(path)) {
    if (optional) return '';
    throw new Error('missing page source: ' + name);
  }
  if (depth > 4) throw new Error('page sources include each other: ' + name);
  let text = readFileSync(path, 'utf8').replace(/\r\n/g, '\n');
  const cut = text.search(/^\/\/ @node-only\s*$/m);
  if (cut >= 0) text = text.slice(0, cut);
  text = expand(dir, text.replace(/\s+$/, ''), depth + 1, settings);
  // Scripts and styles are inline: a closing tag inside one would end it early.
  if (kind !== 'html' && /<\/(script|style)|<!--/i.test(text)) throw new Error(name + ' holds markup that would end its element');
  return text;
}

function expand(dir, text, depth, settings) {
  return text
    .replace(SETTING, (m, name) => {
      if (!Object.prototype.hasOwnProperty.call(settings, name)) throw new Error('unknown build setting: ' + name);
      return JSON.stringify(settings[name]);
    })
    .replace(MARKER, (m, k1, o1, n1, k2, o2, n2) => include(dir, k1 || k2, n1 || n2, !!(o1 || o2), depth, settings));
}

// The page's text, from the sources in `dir`, with the given build settings.
export function assemble(dir = SRC, settings = buildSettings()) {
  return expand(dir, readFileSync(join(dir, 'index.html'), 'utf8').replace(/\r\n/g, '\n'), 0, settings);
}

if (process.argv[1] && fileURLToPath(import.meta.url) === process.argv[1]) {
  const out = process.argv[2];
  if (!out) {
    console.error('usage: node page/build.mjs <output>');
    process.exit(2);
  }
  mkdirSync(dirname(out), { recursive: true });
  writeFileSync(out, assemble());
}
