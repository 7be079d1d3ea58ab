// What the page's test and its benchmark share: the built site served on a
// port of the loopback address, and Debian's Chromium, never a browser that a
// tool fetches, started headless with no connection of its own.
import { chromium } from 'playwright-core';
import { readFileSync } from 'node:fs';
import { createServer } from 'node:http';
import { extname, join } from 'node:path';

const types = { '.html': 'text/html', '.js': 'text/javascript', '.css': 'text/css', '.wasm': 'application/wasm',
  '.svg': 'image/svg+xml', '.png': 'image/png', '.webmanifest': 'application/manifest+json' };

/// Serves the folder `site`; resolves to the server, whose origin is `origin(server)`.
export async function serve(site) {
  const server = createServer((request, response) => {
    const path = new URL(request.url, 'http://x').pathname;
    try {
      const body = readFileSync(join(site, path === '/' ? 'index.html' : path));
      response.writeHead(200, { 'Content-Type': types[extname(path) || '.html'] ?? 'application/octet-stream' });
      response.end(body);
    } catch {
      response.writeHead(404);
      response.end();
    }
  });
  await new Promise((resolve) => server.listen(0, '127.0.0.1', resolve));
  return server;
}

export const origin = (server) => `http://127.0.0.1:${server.address().port}`;

const chromium_options = {
  executablePath: '/usr/bin/chromium',
  args: ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run', '--disable-background-networking',
    '--disable-component-update', '--disable-sync'],
};

export function launch_chromium() {
  return chromium.launch(chromium_options);
}

/// A browser with a profile of its own in the folder `profile`, as a person
/// has one: service workers and installed apps need it. Resolves to its one
/// context, made with `options`.
export function launch_chromium_profile(profile, options) {
  return chromium.launchPersistentContext(profile, { ...chromium_options, ...options });
}
