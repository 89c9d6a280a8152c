// Cut-out surfaces (leaves, flags, flames): lit like simple.fx, but pixels whose texture alpha
// is below one half are dropped rather than blended, so they need no sorting, and both sides
// are drawn.

texture tex0;

technique Holey
{
    pass P0
    {
        Lighting = true;
        FogEnable = true;
        CullMode = None;
        AlphaTestEnable = true;
        AlphaRef = 128;
        AlphaFunc = GreaterEqual;

        Texture[0] = <tex0>;
        ColorOp[0] = Modulate;
        ColorArg1[0] = Texture;
        ColorArg2[0] = Diffuse;
        AlphaOp[0] = SelectArg1;
        AlphaArg1[0] = Texture;
        ColorOp[1] = Disable;
        AlphaOp[1] = Disable;
    }
}
