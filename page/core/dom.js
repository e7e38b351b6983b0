// Elements the page core reaches by id, cached once.

const $ = (id) => document.getElementById(id);
const $lists = $('lists');
const $rows = $('rows');
const $rowsDone = $('rowsDone');
const $cardDone = $('cardDone');
const $doneHd = $('doneHd');
const $foldIcon = $('foldIcon');
const $cntWait = $('cntWait');
const $cntDone = $('cntDone');
const $empty = $('empty');
const $stat = $('stat');
const $progEmoji = $('progEmoji');
const $progFill = $('progFill');
const $progBar = $progFill.parentNode;
const $progTxt = $('progTxt');
const $date = $('date');
const $search = $('search');
const $hideDone = $('hideDone');
const $autoNext = $('autoNext');
const $file = $('file');
const $tpick = $('tpick');
const $toast = $('toast');
const $zoom = $('zoom');
const $ztitle = $('ztitle');
const $ztext = $('ztext');

const rowEl = (id) => $lists.querySelector('tr[data-id="' + CSS.escape(id) + '"]');
