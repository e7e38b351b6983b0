// Where a copy of the page finds its account service and update site.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { apiBaseFor, apiParam, updateBaseFor } from '../../page/lib/endpoints.js';

const at = (url) => {
  const u = new URL(url);
  return { protocol: u.protocol, hostname: u.hostname, pathname: u.pathname };
};

test('the service base follows the address, the remembered service and the public site', () => {
  const site = 'planner.example.org';
  const cases = [
    // address, remembered, site host, base
    ['https://planner.example.org/vellora/', '', site, '/vellora/api'],
    ['https://www.planner.example.org/x/app.html', 'http://other:1/vellora/api', site, '/vellora/api'],
    ['http://school.lan:8787/vellora/', '', '', '/vellora/api'],
    ['http://school.lan:8787/vellora/app.html', 'http://other:1/vellora/api', site, '/vellora/api'],
    ['http://127.0.0.1:4100/', 'http://school.lan:8787/vellora/api/', '', 'http://school.lan:8787/vellora/api'],
    ['http://127.0.0.1:4100/', '', site, 'https://planner.example.org/vellora/api'],
    ['http://127.0.0.1:4100/', '', '', ''],
    ['file:///home/t/Doremkin/app.html', '', '', ''],
    ['file:///vellora/app.html', '', '', ''],
    ['vellora://app/index.html', 'https://s.example/vellora/api', '', 'https://s.example/vellora/api'],
    ['http://127.0.0.1:4100/', 'javascript:alert(1)', '', ''],
    ['http://127.0.0.1:4100/', 'http://evil/x?y', '', ''],
    ['http://127.0.0.1:4100/', 42, '', ''],
  ];
  for (const [url, stored, host, want] of cases) assert.equal(apiBaseFor(at(url), stored, host), want, url + ' ' + stored);
});

test('the update site sits beside the service, and ?api= is read from the query', () => {
  assert.equal(updateBaseFor('/vellora/api'), '/vellora/');
  assert.equal(updateBaseFor('http://school.lan:8787/vellora/api'), 'http://school.lan:8787/vellora/');
  assert.equal(updateBaseFor('http://school.lan/svc'), '');
  assert.equal(updateBaseFor(''), '');
  assert.equal(apiParam('?noUpdate&api=http%3A%2F%2Fh%3A1%2Fvellora%2Fapi'), 'http://h:1/vellora/api');
  assert.equal(apiParam('?api='), '');
  assert.equal(apiParam('?xapi=1'), null);
  assert.equal(apiParam('?api=%E0%A4%A'), null);
  assert.equal(apiParam(''), null);
});
