import { fileURLToPath } from 'node:url';
import { resolve } from 'node:path';

export const REPO = resolve(fileURLToPath(new URL('../../..', import.meta.url)));
export const repoPath = (p) => resolve(REPO, p);
