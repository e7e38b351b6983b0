// Service worker of the public page: the page opens offline, and never from a stale copy.
// The page itself is always asked from the network first; the copy kept here is used only when
// the network fails, so a published update is seen at the first opening with a connection.
// Update checks (version.json, app.html) and the account API are never answered from here.
'use strict';
const CACHE = 'vellora-page-v1';
const SHELL = ['./', 'manifest.json', 'icon-180.png', 'icon-192.png'];

self.addEventListener('install', (e) => {
  e.waitUntil(caches.open(CACHE).then((c) => c.addAll(SHELL)).then(() => self.skipWaiting()));
});

self.addEventListener('activate', (e) => {
  e.waitUntil(
    caches
      .keys()
      .then((keys) => Promise.all(keys.filter((k) => k !== CACHE).map((k) => caches.delete(k))))
      .then(() => self.clients.claim()),
  );
});

self.addEventListener('fetch', (e) => {
  const req = e.request;
  if (req.method !== 'GET') return;
  const url = new URL(req.url);
  if (url.origin !== self.location.origin) return;
  const scope = new URL(self.registration.scope);
  if (!url.pathname.startsWith(scope.pathname)) return;
  const rest = url.pathname.slice(scope.pathname.length);
  if (rest.startsWith('api/') || rest === 'version.json' || rest === 'app.html') return;
  const page = req.mode === 'navigate' || rest === '' || rest === 'index.html';
  const key = page ? './' : req;
  e.respondWith(
    fetch(req, { cache: 'no-store' })
      .then((res) => {
        if (res.ok) {
          const copy = res.clone();
          caches.open(CACHE).then((c) => c.put(key, copy));
        }
        return res;
      })
      .catch(() => caches.match(key).then((hit) => hit || Response.error())),
  );
});
