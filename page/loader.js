// Self-update loader. It runs first, before any style or other script, so that it can decide
// about swapping in a newer stored page before anything is drawn. For now it only publishes
// the page's own version.
(function () {
  'use strict';
  var BUILT_IN = '2026-10-14.1';
  window.__vlVer = BUILT_IN;
})();
