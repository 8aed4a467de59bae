#pragma once
// Test drawing: the whole viewport cleared to black and covered with a 2 x 2 rectangle texture.
// Include after epoxy.

inline void drawTexturedQuad(GLuint texture)
{
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    glEnable(GL_TEXTURE_RECTANGLE);
    glBindTexture(GL_TEXTURE_RECTANGLE, texture);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
    glBegin(GL_QUADS);
    glTexCoord2f(0, 0);
    glVertex2f(-1, -1);
    glTexCoord2f(2, 0);
    glVertex2f(1, -1);
    glTexCoord2f(2, 2);
    glVertex2f(1, 1);
    glTexCoord2f(0, 2);
    glVertex2f(-1, 1);
    glEnd();
}
