// The land under the level: its colour picture stretched once over the whole ground (first
// texture coordinates) and a detail picture repeated every few units over it (second texture
// coordinates), doubled so that a mid-grey detail leaves the colour as it is.

texture tex0;
texture tex1;

technique Terrain
{
    pass P0
    {
        Lighting = true;
        FogEnable = true;

        Texture[0] = <tex0>;
        TexCoordIndex[0] = 0;
        AddressU[0] = Clamp;
        AddressV[0] = Clamp;
        ColorOp[0] = Modulate;
        ColorArg1[0] = Texture;
        ColorArg2[0] = Diffuse;
        AlphaOp[0] = SelectArg1;
        AlphaArg1[0] = Diffuse;

        Texture[1] = <tex1>;
        TexCoordIndex[1] = 1;
        AddressU[1] = Wrap;
        AddressV[1] = Wrap;
        ColorOp[1] = Modulate2x;
        ColorArg1[1] = Texture;
        ColorArg2[1] = Current;
        AlphaOp[1] = SelectArg1;
        AlphaArg1[1] = Current;

        ColorOp[2] = Disable;
        AlphaOp[2] = Disable;
    }
}
