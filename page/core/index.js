// Page core: owns the one planner state, loads it, saves it on every change, draws the day on
// view and runs the day operations. The account module reaches it only through window.__vl and
// the signature globals published at start-up (core/start.js).
//
// The assembler inlines the files below, in this order, into this one strict function scope:
// pure helpers first (lib/), then one file per concern. Each file's top-level code runs in this
// order; the functions of all files see each other.
(function () {
  'use strict';
  if (window.performance && performance.mark) performance.mark('vl:start');

  /*@js lib/dates.js*/
  /*@js lib/items.js*/
  /*@js lib/view.js*/
  /*@js lib/host.js*/

  /*@js core/store.js*/
  /*@js core/state.js*/
  /*@js core/dom.js*/
  /*@js core/toast.js*/
  /*@js core/dayview.js*/
  /*@js core/dayops.js*/
  /*@js core/notes.js*/
  /*@js core/picker.js*/
  /*@js core/host.js*/
  /*@js core/io.js*/
  /*@js core/start.js*/
})();
