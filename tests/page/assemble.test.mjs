// The assembler that turns page/ into the one self-contained app.html.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import { cpSync, mkdirSync, mkdtempSync, readFileSync, rmSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { assemble } from '../../page/build.mjs';
import { ROOT } from './harness.mjs';

const PAGE = join(ROOT, 'page');
const copyOfPage = () => {
  const dir = mkdtempSync(join(tmpdir(), 'vellora-page-src-'));
  cpSync(PAGE, dir, { recursive: true });
  return dir;
};

test('the page is one self-contained document, the same at every build', () => {
  const html = assemble();
  assert.equal(assemble(), html);
  const out = join(mkdtempSync(join(tmpdir(), 'vellora-page-out-')), 'sub', 'app.html');
  execFileSync(process.execPath, [join(PAGE, 'build.mjs'), out]);
  assert.equal(readFileSync(out, 'utf8'), html);

  assert.ok(html.startsWith('<!DOCTYPE html>\n<html lang="zh-CN">'));
  assert.doesNotMatch(html, /\/\*@|<!--@|\bexport \{|<link[^>]+stylesheet|<script[^>]+src=/);
  const scripts = [...html.matchAll(/<script>([\s\S]*?)<\/script>/g)].map((m) => m[1]);
  assert.equal(scripts.length, 3, 'loader, page core, account slot');
  assert.ok(html.indexOf('<script>') < html.indexOf('<style>'), 'the loader comes before the style sheet');
  assert.match(scripts[0], /window\.__vlVer = BUILT_IN/);
  const core = scripts[1];
  assert.match(core, /^\s*\/\/[^\n]*\n[\s\S]*?\(function \(\) \{\n  'use strict';/);
  assert.ok(core.indexOf('function snap(') > core.indexOf("'use strict'"), 'the helpers sit inside the strict function scope');
  assert.equal(core.split('function snap(').length, 2);
  assert.match(scripts[2], /const VL = window\.__vl;\n  if \(!VL\) return;/, 'the account module');
  // both scripts parse once inlined
  assert.doesNotThrow(() => new Function(core));
  assert.doesNotThrow(() => new Function(scripts[2]));
});

test('optional slots take their files when they exist', () => {
  const dir = copyOfPage();
  writeFileSync(join(dir, 'account', 'index.js'), 'window.acc = 1;');
  writeFileSync(join(dir, 'pwatip.js'), 'window.tip = 2;');
  writeFileSync(join(dir, 'pwatip.html'), '<div id="pwaTip"></div>');
  const html = assemble(dir);
  assert.match(html, /<script>\nwindow\.acc = 1;\nwindow\.tip = 2;\n<\/script>/);
  assert.ok(html.indexOf('id="pwaTip"') > html.indexOf('id="toast"') && html.indexOf('id="pwaTip"') < html.indexOf('id="setupBox"'));
});

test('a source that would end its inline element early, or a missing source, stops the build', () => {
  const dir = copyOfPage();
  writeFileSync(join(dir, 'account', 'index.js'), 'const s = "</script><b>";');
  assert.throws(() => assemble(dir), /account\/index\.js holds markup/);
  const gone = copyOfPage();
  rmSync(join(gone, 'core', 'notes.js'));
  assert.throws(() => assemble(gone), /missing page source: core\/notes\.js/);
  const outside = copyOfPage();
  writeFileSync(join(outside, 'core', 'index.js'), '/*@js ../../etc/passwd*/');
  assert.throws(() => assemble(outside), /bad page source name/);
});

test('build settings are written in as string literals, and an unknown one stops the build', () => {
  const dir = copyOfPage();
  writeFileSync(join(dir, 'account', 'index.js'), "const h = /*@setting SITE_HOST*/ '';");
  assert.match(assemble(dir, { SITE_HOST: 'planner.example.org' }), /const h = "planner\.example\.org";/);
  assert.match(assemble(dir, { SITE_HOST: '' }), /const h = "";/);
  writeFileSync(join(dir, 'account', 'index.js'), "const h = /*@setting NOPE*/ '';");
  assert.throws(() => assemble(dir, { SITE_HOST: '' }), /unknown build setting: NOPE/);
});
