// Account module: sign-in and profile, the sync engine, the admin panel. It reaches the page core
// only through window.__vl (held as VL) and the signature globals the core publishes, and does
// nothing when the core is missing. When this copy of the page knows no account service, it shows
// no sign-in at all and sends nothing: the planner stays fully offline.
//
// The files below are inlined, in this order, into this one strict function scope; their
// top-level code runs in this order and their functions see each other.
(function () {
  'use strict';
  const VL = window.__vl;
  if (!VL) return;

  /*@js lib/sync.js*/
  /*@js lib/endpoints.js*/

  /*@js? account/api.js*/
  /*@js? account/auth.js*/
  /*@js? account/engine.js*/
  /*@js? account/me.js*/
  /*@js? account/admin.js*/
  /*@js? account/start.js*/
})();
