// The page's service worker: it keeps the site's files under a cache named
// by their version, serves them with no network, and drops the cache of an
// older version once a newer one has taken its place. The build writes in
// the version (etal's, and a hash of the files) and the list of files.
'use strict';
const version = '@ETAL_SITE_VERSION@';
const files = ['./', @ETAL_SITE_FILES@];
// Caches belong to the whole host: theirs are named by this folder too, so
// that two copies of the site on one host keep apart.
const prefix = 'etal ' + self.registration.scope + ' ';
const kept = prefix + version;

self.addEventListener('install', (event) => {
  // Fetched past the browser's HTTP cache, so that they are this version's.
  event.waitUntil(caches.open(kept)
    .then((cache) => cache.addAll(files.map((file) => new Request(file, { cache: 'reload' })))));
});

// A newer version waits until a page that nobody is at work in asks it to
// take over; that page then reloads into it.
self.addEventListener('message', (event) => {
  if (event.data === 'take over')
    self.skipWaiting();
});

self.addEventListener('activate', (event) => {
  event.waitUntil(caches.keys()
    .then((names) => Promise.all(names.filter((name) => name.startsWith(prefix) && name !== kept)
      .map((name) => caches.delete(name))))
    .then(() => self.clients.claim()));
});

self.addEventListener('fetch', (event) => {
  const request = event.request;
  if (request.method !== 'GET' || !request.url.startsWith(self.registration.scope))
    return;
  // The rule in the page's address is the page's to read: one file serves all.
  event.respondWith(caches.open(kept)
    .then((cache) => cache.match(request, { ignoreSearch: true }))
    .then((kept_file) => kept_file ?? fetch(request)));
});
